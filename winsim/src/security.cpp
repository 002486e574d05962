// security (to be implemented).
#include "internal.h"
