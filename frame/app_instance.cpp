#include "frame/app.h"

// Set by the user-interface thread at the start, before any other thread;
// read by both.
HINSTANCE app_instance;
