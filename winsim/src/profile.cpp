// profile (to be implemented).
#include "internal.h"
