// modules (to be implemented).
#include "internal.h"
