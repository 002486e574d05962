// Finding a key's subkey or value by name among those it holds in creation order, without regard
// to case (IEquals). A lookup hashes the caller's name as it stands, with no upper-cased copy, and
// the names themselves stay in the list alone: the index holds positions.
#ifndef WINSIM_REGISTRY_NAMEINDEX_H
#define WINSIM_REGISTRY_NAMEINDEX_H

#include "../internal.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace winsim::registry {

class NameIndex {
  public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    // The position of `name` among the `count` names that `nameAt(i)` gives, or kNone.
    template <typename NameAt>
    size_t Find(std::string_view name, size_t count, NameAt nameAt) const {
        if (m_slots.empty()) {
            for (size_t i = 0; i < count; ++i)
                if (IEquals(nameAt(i), name)) return i;
            return kNone;
        }
        const uint32_t hash = Hash(name);
        const size_t mask = m_slots.size() - 1;
        for (size_t s = hash & mask;; s = (s + 1) & mask) {
            const Slot& slot = m_slots[s];
            if (slot.place == 0) return kNone;
            if (slot.hash == hash && IEquals(nameAt(slot.place - 1), name)) return slot.place - 1;
        }
    }

    // Takes in the last of the `count` names, just appended.
    template <typename NameAt> void Added(size_t count, NameAt nameAt) {
        if (count <= kScanned) return;
        if (2 * count > m_slots.size()) {
            Rebuild(count, nameAt);
            return;
        }
        Insert(Hash(nameAt(count - 1)), count - 1);
    }

    // Indexes the `count` names afresh (after one was removed and those after it moved up).
    template <typename NameAt> void Rebuild(size_t count, NameAt nameAt) {
        m_slots.clear();
        if (count <= kScanned) return;
        size_t size = 4 * kScanned;
        while (size < 2 * count)
            size *= 2;
        m_slots.resize(size);
        for (size_t i = 0; i < count; ++i)
            Insert(Hash(nameAt(i)), i);
    }

  private:
    // Most keys hold a few values and subkeys; comparing those few names costs less than hashing
    // one, and such a key keeps no table at all.
    static constexpr size_t kScanned = 8;

    struct Slot {
        uint32_t hash = 0;
        uint32_t place = 0; // position + 1; 0: a free slot
    };

    // FNV-1a over the upper-case bytes, so that names equal without regard to case hash alike.
    static uint32_t Hash(std::string_view name) {
        uint32_t h = 2166136261u;
        for (char c : name)
            h = (h ^ static_cast<unsigned char>(UpperAscii(c))) * 16777619u;
        return h;
    }

    // Open addressing with linear probing, at most half full.
    void Insert(uint32_t hash, size_t position) {
        const size_t mask = m_slots.size() - 1;
        size_t s = hash & mask;
        while (m_slots[s].place != 0)
            s = (s + 1) & mask;
        m_slots[s] = Slot{hash, static_cast<uint32_t>(position + 1)};
    }

    std::vector<Slot> m_slots; // a power of two in size; empty while the names are few
};

} // namespace winsim::registry

#endif
