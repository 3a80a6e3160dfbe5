// An object's property cache: what GetInfo loaded and what Put changed.
// SetInfo sends the changed properties (all of them for a new object).
#pragma once

#include "wine/Entry.h"

#include <string>
#include <vector>

namespace Provider {

class PropertyCache {
public:
    bool loaded() const { return m_loaded; }

    // Null when the name is not cached.
    const std::vector<std::wstring>* Find(const std::wstring& name) const;
    void Put(const std::wstring& name, std::vector<std::wstring> values);

    // Takes the entry's attributes. keepChanges keeps values Put since the
    // last SetInfo (the implicit load of Get); GetInfo itself drops them.
    void Load(const Entry& entry, bool keepChanges);

    std::vector<Attribute> Changed() const;
    void MarkSaved();

private:
    struct Item {
        Attribute attribute;
        bool changed;
    };
    Item* FindItem(const std::wstring& name);

    std::vector<Item> m_items;
    bool m_loaded = false;
};

}  // namespace Provider
