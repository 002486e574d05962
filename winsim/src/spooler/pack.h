// Record packing: how the spooler's Enum*/Get* calls lay their records out in the caller's
// buffer, as Windows does. The fixed structures go from the start of the buffer, their strings
// from its end backwards; a size query is the same call with too small a buffer.
#ifndef WINSIM_SPOOLER_PACK_H
#define WINSIM_SPOOLER_PACK_H

#include <windows.h>

#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace winsim::spooler {

// The texts of the records a call hands out: code page 1252 for the A calls, UTF-16 for the W
// calls. A W structure is its A structure with wide text pointers, field for field, so both are
// built as the A structure, and only the texts (and a DEVMODE's names) are written wide.
enum class Charset { Ansi, Wide };

// A DEVMODEA's bytes as a DEVMODEW's (documents.cpp).
std::string WideDevMode(const std::string& devModeA);

template <class T> struct Packed {
    T fixed{};
    std::vector<std::pair<LPSTR T::*, const std::string*>> strings; // null: a null pointer
    // Structures a record points to (a DEVMODE, a security descriptor): their bytes, how the
    // record's pointer is set to where they land, and whether the bytes are a DEVMODEA (written
    // as a DEVMODEW for the W calls).
    struct Block {
        std::function<void(T&, void*)> set;
        const std::string* bytes;
        bool devMode;
    };
    std::vector<Block> blocks;
};

// A block's room in the buffer: whole 8-byte units, so the next one stays aligned.
inline size_t BlockRoom(size_t bytes) {
    return (bytes + 7) & ~static_cast<size_t>(7);
}

// Both counts given, as NT's spooler interface needs them (else RPC_X_NULL_REF_POINTER); 95/98
// take a null count and leave it out.
bool CountsGiven(LPDWORD needed, LPDWORD returned);
// What every Enum* call checks first: the failure a test armed for `function`, both counts,
// then the server (see Begin). False with the last error set when the call fails now.
bool EnumReady(const char* function, LPCSTR server, LPDWORD needed, LPDWORD returned);
// What every Get* call that fills a buffer checks first; as EnumReady.
bool GetReady(const char* function, LPDWORD needed);

// A level the call does not know: nothing is needed and nothing returned.
BOOL NoSuchLevel(LPDWORD needed, LPDWORD returned);

// One text with its terminator, as the directory calls answer.
BOOL PackText(const std::string& text, LPBYTE buf, DWORD cb, LPDWORD needed);

// A double-NUL list's items, each with its terminator; Pack adds the list's closing one.
std::string Joined(const std::vector<std::string>& items);

// A text's bytes in the buffer, with its terminator.
inline size_t TextRoom(const std::string& text, Charset cs) {
    return (text.size() + 1) * (cs == Charset::Wide ? sizeof(WCHAR) : 1);
}
// Writes a text with its terminator at `at`, which has TextRoom bytes.
void WriteText(char* at, const std::string& text, Charset cs);

template <class T>
BOOL Pack(const std::vector<Packed<T>>& items, LPBYTE buf, DWORD cb, LPDWORD needed,
          LPDWORD returned, Charset cs = Charset::Ansi) {
    // A block's bytes as the call hands them out.
    auto blockBytes = [cs](const typename Packed<T>::Block& b) {
        return cs == Charset::Wide && b.devMode ? WideDevMode(*b.bytes) : *b.bytes;
    };
    size_t need = items.size() * sizeof(T);
    for (const Packed<T>& it : items) {
        for (const auto& s : it.strings)
            if (s.second) need += TextRoom(*s.second, cs);
        for (const auto& b : it.blocks)
            need += BlockRoom(blockBytes(b).size());
    }
    if (returned) *returned = 0;
    if (needed) *needed = static_cast<DWORD>(need);
    if (need > cb || (!buf && need > 0)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Blocks follow the fixed structures, texts run back from the end (wide ones from an even
    // end, so that each stays aligned; every wide size is even, so the room still suffices).
    char* end = reinterpret_cast<char*>(buf) + (cs == Charset::Wide ? cb & ~1u : cb);
    char* next = reinterpret_cast<char*>(buf) + items.size() * sizeof(T);
    for (size_t i = 0; i < items.size(); ++i) {
        T t = items[i].fixed;
        for (const auto& b : items[i].blocks) {
            const std::string bytes = blockBytes(b);
            std::memset(next, 0, BlockRoom(bytes.size()));
            std::memcpy(next, bytes.data(), bytes.size());
            b.set(t, next);
            next += BlockRoom(bytes.size());
        }
        for (const auto& s : items[i].strings) {
            if (!s.second) {
                t.*(s.first) = nullptr;
                continue;
            }
            end -= TextRoom(*s.second, cs);
            WriteText(end, *s.second, cs);
            t.*(s.first) = end;
        }
        std::memcpy(buf + i * sizeof(T), &t, sizeof(T));
    }
    if (returned) *returned = static_cast<DWORD>(items.size());
    return TRUE;
}

// Texts a record points into; kept in a list whose elements never move as it grows.
using TextStore = std::deque<std::string>;

template <class T> struct Builder {
    Packed<T> item;
    TextStore* store;
    Builder& Text(LPSTR T::*field, std::string text) {
        store->push_back(std::move(text));
        item.strings.emplace_back(field, &store->back());
        return *this;
    }
    Builder& Null(LPSTR T::*field) {
        item.strings.emplace_back(field, nullptr);
        return *this;
    }
    // A structure the record points to, as its bytes.
    template <class P> Builder& Block(P T::*field, const std::string& bytes) {
        return AddBlock(field, bytes, false);
    }
    // A DEVMODEA the record points to; the W calls get it as a DEVMODEW.
    template <class P> Builder& DevMode(P T::*field, const std::string& devModeA) {
        return AddBlock(field, devModeA, true);
    }
    // An empty text is reported as a null pointer.
    Builder& TextOrNull(LPSTR T::*field, std::string text) {
        return text.empty() ? Null(field) : Text(field, std::move(text));
    }

  private:
    template <class P> Builder& AddBlock(P T::*field, const std::string& bytes, bool devMode) {
        store->push_back(bytes);
        item.blocks.push_back(
            {[field](T& t, void* at) { t.*field = static_cast<P>(at); }, &store->back(),
             devMode});
        return *this;
    }
};

template <class T> Builder<T> Start(TextStore* store) {
    Builder<T> b;
    b.store = store;
    return b;
}

// One record of T for each of `recs`: `fill(builder, rec)` sets its fields and texts.
template <class T, class Rec, class Fill>
BOOL PackEach(const std::vector<Rec>& recs, LPBYTE buf, DWORD cb, LPDWORD needed, LPDWORD returned,
              Fill fill, Charset cs = Charset::Ansi) {
    TextStore store;
    std::vector<Packed<T>> items;
    items.reserve(recs.size());
    for (const Rec& r : recs) {
        Builder<T> b = Start<T>(&store);
        fill(b, r);
        items.push_back(std::move(b.item));
    }
    return Pack(items, buf, cb, needed, returned, cs);
}

// Records that carry only a name, as every level-1 list but the printers'.
template <class T, class Rec>
BOOL PackNames(const std::vector<Rec>& recs, LPSTR T::*field, LPBYTE buf, DWORD cb, LPDWORD needed,
               LPDWORD returned, Charset cs = Charset::Ansi) {
    return PackEach<T>(
        recs, buf, cb, needed, returned,
        [field](Builder<T>& b, const Rec& r) { b.Text(field, r.name); }, cs);
}

} // namespace winsim::spooler

#endif
