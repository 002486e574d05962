// Registry (to be implemented).
#include "internal.h"
namespace winsim {
void SeedFreshRegistry(Os) {}
}
