// Version information (version.dll, winver.h): GetFileVersionInfoSizeA, GetFileVersionInfoA and
// VerQueryValueA over the VS_VERSION_INFO resource of a module file on the machine, and
// version.dll's export table.
//
// The calls load the file as a module for a moment, as Windows loads it as a data file, copy
// the resource and release the module. The resource is a tree of nodes: each a length, a value
// length, on 32-bit resources a type (1 = text), a NUL-ended key, the value and the children,
// each part aligned to 4 bytes from the start of the block. Resource compilers write the 32-bit
// form (UTF-16 keys and texts). What the A calls hand out differs by system:
//  - NT 4.0 copies the 32-bit block as it is and asks for half as much room again behind it:
//    VerQueryValueA writes a text's code page 1252 copy there, at the block's length plus half
//    the text's offset, where no other text's copy can reach.
//  - 95/98 hand out the 16-bit form (code page 1252 keys and texts, no type), which answers
//    VerQueryValueA directly; they ask for the 32-bit block's size, which the 16-bit form never
//    exceeds.
#include "modules.h"
#include "resources.h"

#include <winver.h>

#include <algorithm>
#include <cstring>

using namespace winsim;

namespace {

constexpr size_t kWideHeader = 6;   // wLength, wValueLength, wType
constexpr size_t kNarrowHeader = 4; // wLength, wValueLength
constexpr WORD kTextType = 1;
constexpr int kMaxDepth = 8; // VS_VERSION_INFO > StringFileInfo > table > string, with room

size_t Align4(size_t at) {
    return (at + 3) & ~size_t{3};
}

// One node of a version block, as offsets from the block's start.
struct Node {
    size_t start = 0, end = 0; // end = start + wLength
    std::string key;           // in code page 1252
    size_t value = 0;          // where the value starts
    size_t valueBytes = 0;     // its size in bytes
    WORD valueLength = 0;      // wValueLength as stored (characters for 32-bit texts)
    bool text = false;         // a 32-bit text value (UTF-16)
    size_t children = 0;       // where the first child starts
};

// Reads the node at `at`, which must lie within `limit`; `wide` for the 32-bit form. False for
// anything that runs past its bounds.
bool ReadNode(const unsigned char* block, size_t at, size_t limit, bool wide, Node* n) {
    const size_t header = wide ? kWideHeader : kNarrowHeader;
    if (at > limit || limit - at < header) return false;
    const WORD length = ReadWord(block + at);
    if (length < header || length > limit - at) return false;
    n->start = at;
    n->end = at + length;
    n->valueLength = ReadWord(block + at + 2);
    n->text = wide && ReadWord(block + at + 4) == kTextType;
    n->key.clear();
    size_t p = at + header;
    for (;;) {
        if (p + (wide ? 2 : 1) > n->end) return false;
        const WORD c = wide ? ReadWord(block + p) : block[p];
        p += wide ? 2 : 1;
        if (c == 0) break;
        n->key += wide ? AnsiChar(c) : static_cast<char>(c);
    }
    n->value = std::min(Align4(p), n->end);
    n->valueBytes = n->text ? size_t{n->valueLength} * 2 : n->valueLength;
    if (n->valueBytes > n->end - n->value) return false;
    n->children = std::min(Align4(n->value + n->valueBytes), n->end);
    return true;
}

// The children of a node, in order.
std::vector<Node> Children(const unsigned char* block, const Node& parent, bool wide) {
    std::vector<Node> out;
    Node child;
    for (size_t at = parent.children; at < parent.end; at = Align4(child.end)) {
        if (!ReadNode(block, at, parent.end, wide, &child)) break;
        out.push_back(child);
    }
    return out;
}

// A 32-bit text value in code page 1252, up to its NUL.
std::string TextOf(const unsigned char* block, const Node& n) {
    std::string out;
    for (size_t p = n.value; p + 2 <= n.value + n.valueBytes; p += 2) {
        const WORD c = ReadWord(block + p);
        if (c == 0) break;
        out += AnsiChar(c);
    }
    return out;
}

void PutWord(std::string* out, size_t at, size_t value) {
    (*out)[at] = static_cast<char>(value & 0xFF);
    (*out)[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

// Appends the 16-bit form of a 32-bit node and its children.
void AppendNarrow(const unsigned char* block, const Node& n, int depth, std::string* out) {
    const size_t start = out->size();
    out->append(kNarrowHeader, '\0');
    *out += n.key;
    *out += '\0';
    out->resize(Align4(out->size()), '\0');
    size_t valueLength = n.valueLength;
    if (n.text) {
        const std::string text = TextOf(block, n);
        *out += text;
        *out += '\0';
        valueLength = text.size() + 1;
    } else {
        out->append(reinterpret_cast<const char*>(block + n.value), n.valueBytes);
    }
    if (depth < kMaxDepth) {
        for (const Node& child : Children(block, n, true)) {
            out->resize(Align4(out->size()), '\0');
            AppendNarrow(block, child, depth + 1, out);
        }
    }
    PutWord(out, start, out->size() - start);
    PutWord(out, start + 2, valueLength);
}

// The file's version resource as the A calls hand it out, and the size they ask for. False with
// the last error set when the file has none or is missing.
bool VersionBlock(LPCSTR fileName, std::string* block, DWORD* size) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    HMODULE module = LoadModule(fileName);
    if (!module) {
        if (GetLastError() == ERROR_MOD_NOT_FOUND) {
            SetLastError(ERROR_FILE_NOT_FOUND);
        } else {
            // A file that is no module holds no resources: NT says so, 95/98 name the format.
            SetLastError(IsNT() ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_BAD_FORMAT);
        }
        return false;
    }
    const unsigned char* data = nullptr;
    DWORD dataSize = 0;
    const bool found = FindModuleResource(module, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION,
                                          &data, &dataSize);
    // Copied before the module goes: its resources go with it.
    std::string raw = found ? std::string(reinterpret_cast<const char*>(data), dataSize) : "";
    const DWORD error = GetLastError();
    ReleaseModule(module);
    SetLastError(error);
    if (!found) return false;

    const auto* bytes = reinterpret_cast<const unsigned char*>(raw.data());
    Node root;
    if (!ReadNode(bytes, 0, raw.size(), true, &root)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    if (IsNT()) {
        *block = raw.substr(0, root.end);
        *size = static_cast<DWORD>(root.end + root.end / 2);
    } else {
        AppendNarrow(bytes, root, 0, block);
        *size = static_cast<DWORD>(root.end);
    }
    block->resize(*size, '\0');
    return true;
}

// Splits "\StringFileInfo\040904E4\FileVersion" into its keys; empty parts are skipped.
std::vector<std::string> PathKeys(LPCSTR subBlock) {
    std::vector<std::string> keys;
    std::string key;
    for (const char* c = subBlock ? subBlock : ""; ; ++c) {
        if (*c == '\\' || *c == '\0') {
            if (!key.empty()) keys.push_back(key);
            key.clear();
            if (*c == '\0') break;
        } else {
            key += *c;
        }
    }
    return keys;
}

const bool g_version = [] {
    RegisterBuiltinModule("VERSION.DLL",
                          {{"GetFileVersionInfoA", AsProc(&GetFileVersionInfoA)},
                           {"GetFileVersionInfoSizeA", AsProc(&GetFileVersionInfoSizeA)},
                           {"VerQueryValueA", AsProc(&VerQueryValueA)}},
                          false);
    return true;
}();

} // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    if (lpdwHandle) *lpdwHandle = 0;
    Require();
    WINSIM_FAILPOINT(0u);
    std::string block;
    DWORD size = 0;
    return VersionBlock(lptstrFilename, &block, &size) ? size : 0;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen,
                                LPVOID lpData) {
    (void)dwHandle; // ignored, as on Windows
    Require();
    WINSIM_FAILPOINT(FALSE);
    if (!lpData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string block;
    DWORD size = 0;
    if (!VersionBlock(lptstrFilename, &block, &size)) return FALSE;
    const size_t copied = std::min<size_t>(dwLen, block.size());
    if (copied < block.size() && copied >= 2) {
        // A shorter buffer than asked for: the copy's length covers only what the buffer holds,
        // with NT's room for the texts' copies, so that VerQueryValueA stays inside it.
        const size_t room = IsNT() ? copied * 2 / 3 : copied;
        const size_t length = std::min<size_t>(ReadWord(reinterpret_cast<const unsigned char*>(
                                                   block.data())),
                                               room);
        PutWord(&block, 0, length);
    }
    std::memcpy(lpData, block.data(), copied);
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen) {
    WINSIM_FAILPOINT(FALSE);
    if (!pBlock || !lplpBuffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* block = static_cast<unsigned char*>(const_cast<void*>(pBlock));
    const size_t blockLength = ReadWord(block);
    // The 32-bit form has a type (0 or 1) where the 16-bit form's key begins.
    const bool wide = blockLength >= kWideHeader && ReadWord(block + 4) <= kTextType;
    Node n;
    if (!ReadNode(block, 0, blockLength, wide, &n)) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const size_t rootLength = n.end;
    for (const std::string& key : PathKeys(lpSubBlock)) {
        bool found = false;
        for (const Node& child : Children(block, n, wide)) {
            if (IEquals(child.key, key)) {
                n = child;
                found = true;
                break;
            }
        }
        if (!found) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
    }
    unsigned char* value = block + n.value;
    UINT length = n.valueLength;
    static char empty[1] = "";
    if (n.text && n.valueLength == 0) {
        value = reinterpret_cast<unsigned char*>(empty);
        length = 1;
    } else if (n.text) {
        // At most wValueLength - 1 characters and the NUL: the room half the text's place gives.
        std::string text = TextOf(block, n);
        text.resize(std::min<size_t>(text.size(), n.valueLength - 1));
        value = block + rootLength + n.value / 2;
        std::memcpy(value, text.c_str(), text.size() + 1);
        length = static_cast<UINT>(text.size() + 1);
    }
    *lplpBuffer = value;
    if (puLen) *puLen = length;
    return TRUE;
}

} // extern "C"
