// Internals of the shell family: winsim's item lists, the shell's allocator that holds them and
// the network neighbourhood they name (machine.ini [network]).
#ifndef WINSIM_SHELL_SHELL_H
#define WINSIM_SHELL_SHELL_H

#include "../ui.h"

#include <shlobj.h>

#include <string>
#include <vector>

namespace winsim::shell {

// One item of an item list: its kind and its name within its parent.
enum class ItemKind : BYTE {
    Network = 'N', // the network neighbourhood, a child of the desktop
    Server = 'S',  // a computer of the network, "SERVER"
    Printer = 'P', // a printer share of that computer, "SHARE"
};
struct Item {
    ItemKind kind;
    std::string name;
};

// A list of items from the desktop down, allocated with the shell's allocator; null when it
// cannot be.
LPITEMIDLIST NewItemList(const std::vector<Item>& items);
// The items of a list that this shell made; false for a list it cannot read.
bool ReadItemList(LPCITEMIDLIST list, std::vector<Item>* items);
// "\\SERVER" or "\\SERVER\SHARE" for an item list of the network; empty for any other.
std::string NetworkName(const std::vector<Item>& items);
// The network's printer shares, as "\\SERVER\SHARE", in machine.ini's order.
std::vector<std::string> NetworkShares();

// Blocks the shell's allocator holds (LiveHandles).
size_t OpenShellBlocks();

} // namespace winsim::shell

#endif
