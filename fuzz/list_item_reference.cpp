#include "fuzz/list_item_reference.h"

#include <vector>

bool referenceItemName(const std::string &list, int32_t number, std::string &name) {
    std::vector<std::string> items(1);
    for (char c : list) {
        if (c == ',')
            items.emplace_back();
        else
            items.back().push_back(c);
    }
    // What follows the last ',' is an item only when it is not empty; the
    // empty text has no item at all.
    if (items.back().empty())
        items.pop_back();
    if (list.empty())
        items.clear();

    if (number < 0 || static_cast<size_t>(number) >= items.size())
        return false;
    const std::string &item = items[static_cast<size_t>(number)];
    name = item.substr(0, item.find('='));
    return true;
}
