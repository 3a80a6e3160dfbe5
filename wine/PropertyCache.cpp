#include "wine/PropertyCache.h"

#include <algorithm>

namespace Provider {

PropertyCache::Item* PropertyCache::FindItem(const std::wstring& name) {
    for (Item& item : m_items)
        if (SameAttributeName(item.attribute.name, name)) return &item;
    return nullptr;
}

const std::vector<std::wstring>* PropertyCache::Find(const std::wstring& name) const {
    for (const Item& item : m_items)
        if (SameAttributeName(item.attribute.name, name)) return &item.attribute.values;
    return nullptr;
}

void PropertyCache::Put(const std::wstring& name, std::vector<std::wstring> values) {
    if (Item* item = FindItem(name)) {
        item->attribute.values = std::move(values);
        item->changed = true;
        return;
    }
    m_items.push_back(Item{Attribute{name, std::move(values)}, true});
}

void PropertyCache::Load(const Entry& entry, bool keepChanges) {
    std::vector<Item> items;
    if (keepChanges)
        std::copy_if(m_items.begin(), m_items.end(), std::back_inserter(items),
                     [](const Item& item) { return item.changed; });
    for (const Attribute& attribute : entry.attributes) {
        auto kept = std::find_if(items.begin(), items.end(), [&](const Item& item) {
            return SameAttributeName(item.attribute.name, attribute.name);
        });
        if (kept == items.end()) items.push_back(Item{attribute, false});
    }
    m_items = std::move(items);
    m_loaded = true;
}

std::vector<Attribute> PropertyCache::Changed() const {
    std::vector<Attribute> changed;
    for (const Item& item : m_items)
        if (item.changed) changed.push_back(item.attribute);
    return changed;
}

void PropertyCache::MarkSaved() {
    for (Item& item : m_items) item.changed = false;
}

}  // namespace Provider
