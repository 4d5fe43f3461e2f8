// The writer of resource bodies; the placement rules are in the header.
#include "ui/definition_writer.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>

namespace sk::ui {
namespace {

class Writer {
public:
    explicit Writer(const ResourceDefinition& r) : m_resource(r) {
        m_image.assign(kImageLead + 4, 0);
    }

    std::vector<std::uint8_t> run() {
        std::uint32_t previous = 0;
        for (const WindowDefinition& w : m_resource.windows) {
            const std::uint32_t at = window(w);
            if (previous == 0)
                put32(kImageLead, at);
            else
                put32(previous + win::kNext, at);
            previous = at;
        }
        m_image.insert(m_image.end(), m_resource.padding, 0);
        std::vector<std::uint8_t> body(m_resource.module.begin(), m_resource.module.end());
        body.push_back(0);
        body.insert(body.end(), m_image.begin() + kImageLead, m_image.end());
        return body;
    }

private:
    std::uint32_t here() const { return static_cast<std::uint32_t>(m_image.size()); }
    std::uint32_t reserve(std::uint32_t n) {
        const std::uint32_t at = here();
        m_image.insert(m_image.end(), n, 0);
        return at;
    }
    void put8(std::uint32_t at, std::uint8_t v) { m_image[at] = v; }
    void put32(std::uint32_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) m_image[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    void puti(std::uint32_t at, std::int32_t v) { put32(at, static_cast<std::uint32_t>(v)); }
    void putf(std::uint32_t at, double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i) m_image[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }

    std::uint32_t str(const std::string& s) {
        if (s.empty()) return 0;
        // A string holding a zero byte is cut there, as the reader would see it.
        const std::string text = s.substr(0, s.find('\0'));
        if (text.empty()) return 0;
        auto it = m_strings.find(text);
        if (it != m_strings.end()) return it->second;
        const std::uint32_t at = here();
        m_image.insert(m_image.end(), text.begin(), text.end());
        m_image.push_back(0);
        m_strings.emplace(text, at);
        return at;
    }
    // Chain of 8-byte nodes, all written together after what they refer to.
    std::uint32_t nodes(const std::vector<std::uint32_t>& values) {
        if (values.empty()) return 0;
        const std::uint32_t first = reserve(kChainNodeSize * static_cast<std::uint32_t>(values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::uint32_t at = first + kChainNodeSize * static_cast<std::uint32_t>(i);
            put32(at, values[i]);
            put32(at + 4, i + 1 < values.size() ? at + kChainNodeSize : 0);
        }
        return first;
    }
    std::uint32_t string_list(const std::vector<std::string>& list) {
        std::vector<std::uint32_t> offsets;
        for (const std::string& s : list) offsets.push_back(str(s));
        return nodes(offsets);
    }
    std::uint32_t binding(const std::optional<Binding>& b) {
        if (!b) return 0;
        const std::uint32_t at = reserve(kBindingSize);
        put8(at, b->tag);
        return at;
    }

    std::uint32_t font(const FontBlock& f) {
        const std::uint32_t at = reserve(kFontBlockSize);
        puti(at + 4, f.size);
        puti(at + 8, f.color);
        puti(at + 12, f.style);
        put32(at, str(f.name));
        return at;
    }

    std::uint32_t window(const WindowDefinition& w) {
        const std::uint32_t label = str(w.label);
        const std::uint32_t title = str(w.title);
        const std::uint32_t font_at = w.font ? font(*w.font) : 0;
        const std::uint32_t icon = str(w.icon);
        const std::uint32_t message = str(w.message);
        const std::uint32_t help = str(w.help);
        const std::uint32_t cursor = str(w.cursor);
        const std::uint32_t alerts = nodes(w.alert_keys);
        std::vector<std::uint32_t> zones;
        for (std::int32_t z : w.status_zones) zones.push_back(static_cast<std::uint32_t>(z));
        const std::uint32_t status = nodes(zones);

        const std::uint32_t at = reserve(kWindowRecordSize);
        put8(at + win::kKind, w.kind);
        put32(at + win::kAttributes, w.attributes);
        puti(at + win::kX, w.x);
        puti(at + win::kY, w.y);
        puti(at + win::kWidth, w.width);
        puti(at + win::kHeight, w.height);
        put32(at + win::kLabel, label);
        put32(at + win::kFont, font_at);
        put32(at + win::kTitle, title);
        put32(at + win::kIcon, icon);
        put32(at + win::kMessage, message);
        put32(at + win::kHelp, help);
        put32(at + win::kAlertKeys, alerts);
        put32(at + win::kFrame, w.frame);
        put32(at + win::kPalette, w.palette);
        put32(at + win::kTimer, w.timer);
        put32(at + win::kCursor, cursor);
        put32(at + win::kStatusZones, status);
        put32(at + win::kFirstControl, chain(w.controls));
        if (w.menu_bar) put32(at + win::kMenuBar, menu_bar(*w.menu_bar));
        return at;
    }

    std::uint32_t chain(const std::vector<ControlDefinition>& controls) {
        std::uint32_t first = 0, previous = 0;
        for (const ControlDefinition& c : controls) {
            const std::uint32_t at = control(c);
            if (previous)
                put32(previous + ctl::kNext, at);
            else
                first = at;
            previous = at;
        }
        return first;
    }

    std::uint32_t control(const ControlDefinition& c) {
        const KindLayout* k = kind_layout(c.kind);
        // The referenced items, written in the order of the fields that refer to them.
        std::vector<std::pair<std::uint32_t, std::function<std::uint32_t()>>> items;
        items.emplace_back(ctl::kStringList, [&] { return string_list(c.header_strings); });
        items.emplace_back(ctl::kExtra, [&] { return str(c.extra); });
        if (k) {
            if (k->binding) items.emplace_back(k->binding, [&] { return binding(c.binding); });
            if (k->format) items.emplace_back(k->format, [&] { return str(c.format); });
            if (k->attr) {
                items.emplace_back(k->attr, [&] { return str(c.attr.message); });
                if (k->attr_size >= kAttributeBlockSize) {
                    items.emplace_back(k->attr + 8, [&] { return str(c.attr.help); });
                    items.emplace_back(k->attr + 20, [&] { return str(c.attr.string1); });
                    items.emplace_back(k->attr + 24, [&] { return str(c.attr.string2); });
                }
            }
            if (k->text) items.emplace_back(k->text, [&] { return str(c.text); });
            if (k->picture) items.emplace_back(k->picture, [&] { return str(c.picture); });
            if (k->file) items.emplace_back(k->file, [&] { return str(c.file); });
            if (k->icon) items.emplace_back(k->icon, [&] { return str(c.icon); });
            if (k->row_source) items.emplace_back(k->row_source, [&] { return binding(c.row_source); });
            if (k->strings) items.emplace_back(k->strings, [&] { return string_list(c.strings); });
        }
        std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::pair<std::uint32_t, std::uint32_t>> refs;
        for (auto& [field, emit] : items) refs.emplace_back(field, emit());

        const std::uint32_t at = reserve(k ? k->size : kControlHeaderSize);
        put8(at + ctl::kKind, c.kind);
        put32(at + ctl::kFlags, c.flags);
        puti(at + ctl::kField, c.field);
        for (auto [field, value] : refs) put32(at + field, value);
        if (!k) return at;
        puti(at + k->pos, c.pos.x);
        puti(at + k->pos + 4, c.pos.y);
        puti(at + k->pos + 8, c.pos.width);
        puti(at + k->pos + 12, c.pos.height);
        if (k->attr && k->attr_size >= kAttributeBlockSize) {
            put32(at + k->attr + 12, c.attr.option_word);
            put32(at + k->attr + 16, c.attr.word);
        }
        if (k->colors) {
            puti(at + k->colors, c.color1);
            puti(at + k->colors + 4, c.color2);
        }
        if (k->words) {
            put32(at + k->words, c.word1);
            put32(at + k->words + 4, c.word2);
        }
        if (k->options) put8(at + k->options, c.options);
        if (k->display) put32(at + k->display, c.display);
        if (k->drop) put8(at + k->drop, c.drop);
        if (k->width) puti(at + k->width, c.width);
        if (k->action) put32(at + k->action, c.action);
        if (k->low) putf(at + k->low, c.low);
        if (k->high) putf(at + k->high, c.high);
        if (k->step) putf(at + k->step, c.step);
        if (k->children) put32(at + k->children, chain(c.children));
        return at;
    }

    std::uint32_t menu_bar(const MenuBarDefinition& bar) {
        const std::uint32_t at = reserve(menu::kBarSize);
        put8(at, kKindMenuBar);
        put32(at + menu::kFlags, bar.flags);
        put32(at + menu::kBarFirstChild, menu_chain(bar.menus));
        return at;
    }

    std::uint32_t menu_chain(const std::vector<MenuDefinition>& list) {
        std::uint32_t first = 0, previous = 0;
        for (const MenuDefinition& m : list) {
            const std::uint32_t at = menu_record(m);
            if (previous)
                put32(previous + ctl::kNext, at);
            else
                first = at;
            previous = at;
        }
        return first;
    }

    std::uint32_t menu_record(const MenuDefinition& m) {
        const bool is_menu = m.kind == kKindMenu;
        const std::uint32_t bind = is_menu ? 0 : binding(m.binding);
        const std::uint32_t text = str(m.text);
        const std::uint32_t message = str(m.message);
        const std::uint32_t at = reserve(is_menu ? menu::kMenuSize : menu::kItemSize);
        put8(at, is_menu ? kKindMenu : kKindItem);
        put32(at + menu::kFlags, m.flags);
        puti(at + menu::kField, m.field);
        put32(at + menu::kText, text);
        put32(at + menu::kMessage, message);
        if (is_menu) {
            put32(at + menu::kMenuFirstChild, menu_chain(m.children));
        } else {
            put32(at + menu::kBinding, bind);
            put32(at + menu::kAction, m.action);
        }
        return at;
    }

    const ResourceDefinition& m_resource;
    std::vector<std::uint8_t> m_image;
    std::map<std::string, std::uint32_t> m_strings;
};

}  // namespace

std::vector<std::uint8_t> write_resource_body(const ResourceDefinition& resource) {
    return Writer(resource).run();
}

}  // namespace sk::ui
