// Fresh placement of a whole tree, class by class.
#include "data/ksf/layout.h"

#include <cstring>
#include <map>

namespace sk::ksf {

int layout_file(PageStore& store, Header* header, std::vector<std::uint8_t>* image) {
    // Gather the pages reached from the root with their size classes.
    std::vector<KsfPage*> pages;
    std::map<PageRef, std::size_t> index;  // old reference -> position in pages
    std::vector<PageRef> todo;
    if (store.root() != kNoPage) todo.push_back(store.root());
    while (!todo.empty()) {
        const PageRef r = todo.back();
        todo.pop_back();
        if (index.count(r)) return 36;  // a page reached twice: not a tree
        KsfPage* p = nullptr;
        if (store.load(r, &p) != 0) return 36;
        index[r] = pages.size();
        pages.push_back(p);
        if (!p->is_leaf())
            for (const auto& [key, slot] : p->records()) todo.push_back(slot.child);
    }
    std::vector<unsigned> cls(pages.size());
    std::vector<std::uint8_t> scratch;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        PageImageInfo info;
        if (int rc = build_page_image(pages[i]->content(), &scratch, &info)) return rc;
        cls[i] = static_cast<unsigned>(roundup256(info.stored) / kUnit);
    }

    // Homes, block by block.
    std::vector<PageRef> home(pages.size());
    std::uint32_t cursor = 0;
    header->set_block(0, 0, 0);
    for (unsigned c = 1; c < kClassCount; ++c) {
        const std::uint32_t start = cursor;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            if (cls[i] != c) continue;
            home[i] = cursor;
            cursor += c;
        }
        header->set_block(c, start, cursor);
    }

    const std::uint64_t end = page_offset(cursor);
    image->assign(end, 0);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        PageContent content = pages[i]->content();
        content.own_offset = static_cast<std::uint32_t>(page_offset(home[i]));
        std::size_t k = 0;
        for (const auto& [key, slot] : pages[i]->records()) {
            if (pages[i]->is_leaf()) break;
            content.children[k++] = static_cast<std::uint32_t>(home[index.at(slot.child)]);
        }
        if (int rc = build_page_image(content, &scratch)) return rc;
        std::memcpy(image->data() + page_offset(home[i]), scratch.data(), scratch.size());
    }
    header->set_root(pages.empty() ? kNoPage : home[0]);
    header->set_journal(static_cast<std::uint32_t>(end), static_cast<std::uint32_t>(end));
    header->set_change_counter(header->change_counter() + 1);
    std::memcpy(image->data(), header->data(), kHeaderSize);
    return 0;
}

}  // namespace sk::ksf
