#pragma once
// Where the progress dialog's controls go for a size of its window. Called
// by the user-interface thread.

// A control's place in the client area, in pixels.
struct layout_rect {
    int x;
    int y;
    int width;
    int height;
};

struct progress_layout {
    layout_rect button; // Stop / Close, lower right, never resized
    layout_rect log;
    layout_rect bar;
};

// Places the progress dialog's controls in a client area of `width` x
// `height` with a button of `button_width` x `button_height`: 6-pixel
// margins and gaps, the bar 1 pixel inside the button's top and bottom.
// A width or height that would come out negative (a very small or minimised
// window) is given as 0.
progress_layout progress_dialog_layout(int width, int height, int button_width, int button_height);
