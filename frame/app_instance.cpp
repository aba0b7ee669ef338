#include "frame/app.h"

HINSTANCE app_instance;
