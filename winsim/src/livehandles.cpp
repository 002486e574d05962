// The process's open handles per kind, as the control API reports them (LiveHandles).
#include "../machine.h"
#include "internal.h"
#include "shell/shell.h"

namespace winsim {

LiveHandleCounts LiveHandles() {
    LiveHandleCounts live;
    live.keys = static_cast<int>(OpenKeyHandles());
    live.files = static_cast<int>(OpenFileHandles());
    live.finds = static_cast<int>(OpenFindHandles());
    live.printers = static_cast<int>(OpenPrinterHandles());
    live.kernelObjects = static_cast<int>(OpenObjectHandles());
    live.globalMemory = static_cast<int>(OpenMemoryBlocks());
    live.gdiObjects = LiveGdiObjects();
    live.shellMemory = static_cast<int>(shell::OpenShellBlocks());
    return live;
}

} // namespace winsim
