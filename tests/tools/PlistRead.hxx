// Reading property lists back with libplist, the independent parser the sample library is judged
// by. A missing node or one of another type reads as empty or zero, so a check on it fails
// instead of crashing the test.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly::sample::test {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

inline Plist parsePlist(std::string_view xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    return Plist(root);
}

inline plist_t item(plist_t dict, const char* key) {
    return dict && plist_get_node_type(dict) == PLIST_DICT ? plist_dict_get_item(dict, key)
                                                           : nullptr;
}

inline bool isType(plist_t node, plist_type type) {
    return node && plist_get_node_type(node) == type;
}

inline std::string text(plist_t node) {
    if (!isType(node, PLIST_STRING)) {
        return {};
    }
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string result = value ? value : "";
    std::free(value);
    return result;
}

inline std::int64_t integer(plist_t node) {
    std::uint64_t value = 0;
    if (isType(node, PLIST_UINT)) {
        plist_get_uint_val(node, &value);
    }
    return static_cast<std::int64_t>(value);
}

inline double real(plist_t node) {
    double value = 0;
    if (isType(node, PLIST_REAL)) {
        plist_get_real_val(node, &value);
    }
    return value;
}

inline std::vector<plist_t> elements(plist_t array) {
    std::vector<plist_t> result;
    if (isType(array, PLIST_ARRAY)) {
        for (std::uint32_t i = 0; i < plist_array_get_size(array); ++i) {
            result.push_back(plist_array_get_item(array, i));
        }
    }
    return result;
}

// A dictionary's entries in document order.
inline std::vector<std::pair<std::string, plist_t>> entries(plist_t dict) {
    std::vector<std::pair<std::string, plist_t>> result;
    if (!isType(dict, PLIST_DICT)) {
        return result;
    }
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(dict, &iter);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, iter, &key, &value);
        if (!value) {
            std::free(key);
            break;
        }
        result.emplace_back(key ? key : "", value);
        std::free(key);
    }
    std::free(iter);
    return result;
}

} // namespace tessaly::sample::test
