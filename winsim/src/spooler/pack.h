// Record packing: how the spooler's Enum*/Get* calls lay their records out in the caller's
// buffer, as Windows does. The fixed structures go from the start of the buffer, their strings
// from its end backwards; a size query is the same call with too small a buffer.
#ifndef WINSIM_SPOOLER_PACK_H
#define WINSIM_SPOOLER_PACK_H

#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::spooler {

// The texts of the records a call hands out: code page 1252 for the A calls, UTF-16 for the W
// calls. A W structure is its A structure with wide text pointers, field for field, so both are
// built as the A structure, and only the texts (and a DEVMODE's names) are written wide.
enum class Charset { Ansi, Wide };

// Writes a DEVMODEA at `at` as the call hands it out: as it is, or as a DEVMODEW for the W calls
// (documents.cpp).
void WriteDevMode(void* at, const DEVMODEA& dm, Charset cs);

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
inline size_t TextRoom(std::string_view text, Charset cs) {
    return (text.size() + 1) * (cs == Charset::Wide ? sizeof(WCHAR) : 1);
}
// Writes a text with its terminator at `at`, which has TextRoom bytes.
void WriteWideText(char* at, std::string_view text);
inline void WriteText(char* at, std::string_view text, Charset cs) {
    if (cs == Charset::Wide) return WriteWideText(at, text);
    if (!text.empty()) std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
}

// Sets a record's fields, the same way twice: first to measure what the records need, then, when
// that fits, to write them into the caller's buffer. The fixed structures go from the start of
// the buffer, each record's blocks after all of them, its texts back from the end. Texts and
// blocks are written where they land, straight from what the caller passes (copied nowhere
// else), so they need only last for the call that passes them.
template <class T> class Builder {
  public:
    T fixed{}; // the record's own fields; a pointer field is set by the calls below

    // Measuring.
    explicit Builder(Charset cs) : m_cs(cs) {}
    // Writing `count` records into `buf` of `cb` bytes, which holds what they measured.
    Builder(Charset cs, LPBYTE buf, DWORD cb, size_t count)
        : m_cs(cs), m_writing(true), m_next(reinterpret_cast<char*>(buf) + count * sizeof(T)),
          // Wide texts run back from an even end, so that each stays aligned; every wide size is
          // even, so the room still suffices.
          m_end(reinterpret_cast<char*>(buf) + (cs == Charset::Wide ? cb & ~1u : cb)) {}

    Builder& Text(LPSTR T::*field, std::string_view text) {
        const size_t room = TextRoom(text, m_cs);
        if (!m_writing) {
            m_room += room;
            return *this;
        }
        m_end -= room;
        WriteText(m_end, text, m_cs);
        fixed.*field = m_end;
        return *this;
    }
    Builder& Null(LPSTR T::*field) {
        fixed.*field = nullptr;
        return *this;
    }
    // An empty text is reported as a null pointer.
    Builder& TextOrNull(LPSTR T::*field, std::string_view text) {
        return text.empty() ? Null(field) : Text(field, text);
    }
    // A structure the record points to, as its bytes.
    template <class P> Builder& Block(P T::*field, std::string_view bytes) {
        char* at = Place(bytes.size());
        if (at) {
            std::memcpy(at, bytes.data(), bytes.size());
            fixed.*field = reinterpret_cast<P>(at);
        }
        return *this;
    }
    // The DEVMODEA `make()` gives, which the record points to; the W calls get it as a DEVMODEW.
    // `make` is called only when the record is written.
    template <class P, class Make> Builder& DevMode(P T::*field, Make make) {
        const size_t size = m_cs == Charset::Wide ? sizeof(DEVMODEW) : sizeof(DEVMODEA);
        char* at = Place(size);
        if (at) {
            WriteDevMode(at, make(), m_cs);
            fixed.*field = reinterpret_cast<P>(at);
        }
        return *this;
    }

    // What the records measured so far need beside their fixed structures.
    size_t Room() const { return m_room; }
    // Starts the next record.
    void Start() { fixed = T{}; }
    // Writes the record started last as the i-th fixed structure of `buf`.
    void Finish(LPBYTE buf, size_t i) const { std::memcpy(buf + i * sizeof(T), &fixed, sizeof(T)); }

  private:
    // Where a block of `size` bytes goes, zeroed to its room; null while measuring.
    char* Place(size_t size) {
        const size_t room = BlockRoom(size);
        if (!m_writing) {
            m_room += room;
            return nullptr;
        }
        char* at = m_next;
        std::memset(at + size, 0, room - size);
        m_next += room;
        return at;
    }

    Charset m_cs;
    bool m_writing = false;
    size_t m_room = 0;
    char* m_next = nullptr;
    char* m_end = nullptr;
};

// One record of T for each of `recs` (any range): `fill(builder, rec)` sets its fields and texts.
// A size query is the same call with too small a buffer: it measures and writes nothing.
template <class T, class Recs, class Fill>
BOOL PackEach(const Recs& recs, LPBYTE buf, DWORD cb, LPDWORD needed, LPDWORD returned, Fill fill,
              Charset cs = Charset::Ansi) {
    Builder<T> measure(cs);
    size_t count = 0;
    for (const auto& r : recs) {
        measure.Start();
        fill(measure, r);
        ++count;
    }
    const size_t need = count * sizeof(T) + measure.Room();
    if (returned) *returned = 0;
    if (needed) *needed = static_cast<DWORD>(need);
    if (need > cb || (!buf && need > 0)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Builder<T> write(cs, buf, cb, count);
    size_t i = 0;
    for (const auto& r : recs) {
        write.Start();
        fill(write, r);
        write.Finish(buf, i++);
    }
    if (returned) *returned = static_cast<DWORD>(count);
    return TRUE;
}

// Records that carry only a name, as every level-1 list but the printers'.
template <class T, class Recs>
BOOL PackNames(const Recs& recs, LPSTR T::*field, LPBYTE buf, DWORD cb, LPDWORD needed,
               LPDWORD returned, Charset cs = Charset::Ansi) {
    return PackEach<T>(
        recs, buf, cb, needed, returned,
        [field](Builder<T>& b, const auto& r) { b.Text(field, r.name); }, cs);
}

} // namespace winsim::spooler

#endif
