// TItemList: the ordered items of a native tag (APEv2 items, Vorbis
// comments, RIFF INFO items, ASF attributes, ID3v2 frames) with the lookups
// every format needs: the first item of a name, how many carry it, delete
// one by index or by name, add one at the end.
//
// A format names its items by one rule, and every lookup of that format
// goes through it, so "exists", "count" and "delete" never disagree about
// which items a name means. A rule is a type with
//   TKey Key(std::string_view Name)              the wanted name, prepared once
//   bool Matches(const T& Item, const TKey& Key)  whether an item carries it
// where T is the item (the pointee when the list holds unique_ptr, for items
// that point back at their tag).
//
// The list owns its items. Readers and writers walk and edit it like a
// vector (size, [], iterators, push_back, erase); the tag classes put their
// named member functions over the lookups below.
#pragma once

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "tags/text.h"

namespace itemlist {

template <class T>
const T& Deref(const T& Item) {
    return Item;
}
template <class T>
const T& Deref(const std::unique_ptr<T>& Item) {
    return *Item;
}

// Names equal byte for byte (RIFF INFO item IDs).
struct TExactName {
    using TKey = std::string_view;
    static TKey Key(std::string_view Name) { return Name; }
    template <class T>
    static bool Matches(const T& Item, TKey Name) {
        return Item.Name == Name;
    }
};

// Names equal with the ASCII letters folded (Vorbis comment field names,
// APEv2 keys, ASF attribute names); other bytes compare as they are.
struct TAsciiCaseBlindName {
    using TKey = std::string_view;
    static TKey Key(std::string_view Name) { return Name; }
    template <class T>
    static bool Matches(const T& Item, TKey Name) {
        return text::SameText(Item.Name, Name);
    }
};

}  // namespace itemlist

template <class Item, class Rule>
class TItemList {
public:
    using value_type = Item;
    using iterator = typename std::vector<Item>::iterator;
    using const_iterator = typename std::vector<Item>::const_iterator;
    using size_type = typename std::vector<Item>::size_type;

    TItemList() = default;
    // A list taken whole from a reader (the comment list of a decoded header).
    TItemList(std::vector<Item> Items) : FItems(std::move(Items)) {}

    // The items themselves, for the codecs that build or read a whole list
    // (the Vorbis comment codec, the mappings).
    std::vector<Item>& Items() { return FItems; }
    const std::vector<Item>& Items() const { return FItems; }
    operator std::vector<Item>&() { return FItems; }
    operator const std::vector<Item>&() const { return FItems; }

    // ---- the vector surface readers and writers use ----
    size_type size() const { return FItems.size(); }
    bool empty() const { return FItems.empty(); }
    Item& operator[](size_type Index) { return FItems[Index]; }
    const Item& operator[](size_type Index) const { return FItems[Index]; }
    iterator begin() { return FItems.begin(); }
    iterator end() { return FItems.end(); }
    const_iterator begin() const { return FItems.begin(); }
    const_iterator end() const { return FItems.end(); }
    Item& front() { return FItems.front(); }
    const Item& front() const { return FItems.front(); }
    Item& back() { return FItems.back(); }
    const Item& back() const { return FItems.back(); }
    void push_back(Item&& Value) { FItems.push_back(std::move(Value)); }
    void push_back(const Item& Value) { FItems.push_back(Value); }
    template <class... Args>
    Item& emplace_back(Args&&... A) {
        return FItems.emplace_back(std::forward<Args>(A)...);
    }
    iterator erase(const_iterator Position) { return FItems.erase(Position); }
    iterator erase(const_iterator First, const_iterator Last) { return FItems.erase(First, Last); }
    void clear() { FItems.clear(); }
    void reserve(size_type N) { FItems.reserve(N); }
    size_type capacity() const { return FItems.capacity(); }
    void shrink_to_fit() { FItems.shrink_to_fit(); }

    // ---- lookups under the format's name rule ----
    int Count() const { return (int)FItems.size(); }
    // Whether one item carries that name.
    static bool Named(const Item& I, std::string_view Name) {
        return Rule::Matches(itemlist::Deref(I), Rule::Key(Name));
    }
    // Index of the first item of that name, -1 when none.
    int Exists(std::string_view Name) const {
        const auto key = Rule::Key(Name);
        for (size_t i = 0; i < FItems.size(); ++i)
            if (Rule::Matches(itemlist::Deref(FItems[i]), key)) return (int)i;
        return -1;
    }
    int TypeCount(std::string_view Name) const {
        const auto key = Rule::Key(Name);
        return (int)std::count_if(FItems.begin(), FItems.end(),
                                  [&](const Item& i) { return Rule::Matches(itemlist::Deref(i), key); });
    }
    // Calls Do on every item of that name, in order.
    template <class Fn>
    void EachOf(std::string_view Name, Fn Do) {
        const auto key = Rule::Key(Name);
        for (Item& i : FItems)
            if (Rule::Matches(itemlist::Deref(i), key)) Do(i);
    }
    template <class Fn>
    void EachOf(std::string_view Name, Fn Do) const {
        const auto key = Rule::Key(Name);
        for (const Item& i : FItems)
            if (Rule::Matches(itemlist::Deref(i), key)) Do(i);
    }
    // False when Index is out of range.
    bool Delete(int Index) {
        if (Index < 0 || Index >= Count()) return false;
        FItems.erase(FItems.begin() + Index);
        return true;
    }
    // Deletes the first item of that name; false when none.
    bool DeleteFirst(std::string_view Name) { return Delete(Exists(Name)); }
    // Deletes every item of that name; returns how many went.
    int DeleteAll(std::string_view Name) {
        const auto key = Rule::Key(Name);
        return EraseIf([&](const Item& i) { return Rule::Matches(itemlist::Deref(i), key); });
    }
    // Deletes every item the predicate picks; returns how many went.
    template <class Pred>
    int EraseIf(Pred P) {
        return (int)std::erase_if(FItems, P);
    }
    Item& Add(Item Value) {
        FItems.push_back(std::move(Value));
        return FItems.back();
    }

private:
    std::vector<Item> FItems;
};
