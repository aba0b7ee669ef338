#include "install/progress_layout.h"

namespace {

int at_least_zero(int size)
{
    return size < 0 ? 0 : size;
}

} // namespace

progress_layout progress_dialog_layout(int width, int height, int button_width, int button_height)
{
    progress_layout layout;
    layout.button = {width - button_width - 6, height - button_height - 6, button_width,
                     button_height};
    layout.log = {6, 6, at_least_zero(width - 12), at_least_zero(height - button_height - 18)};
    layout.bar = {6, height - button_height - 5, at_least_zero(width - button_width - 18),
                  at_least_zero(button_height - 2)};
    return layout;
}
