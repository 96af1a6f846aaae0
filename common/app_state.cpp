#include "common/app_state.h"

// Static storage: all zero when the process starts.
APPSTATE AppState;
