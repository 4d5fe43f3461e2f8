// The definition image, its typed readers, and reading window, control and menu
// records into the in-memory model.
#include "ui/definition.h"

#include <cstring>
#include <set>

namespace sk::ui {
namespace {

// No definition of ours comes near this; it bounds the work on a crafted image
// whose chains and trees fan out without looping.
constexpr std::size_t kMaxRecords = 20000;
constexpr int kMaxDepth = 32;

struct Reader {
    const DefinitionImage& image;
    std::string* why;
    std::size_t records = 0;

    bool fail(const char* reason, std::uint32_t offset) {
        if (why) *why = std::string(reason) + " at " + std::to_string(offset);
        return false;
    }
    bool u8(std::uint32_t base, std::uint32_t field, std::uint8_t& out) {
        return image.read_u8(base + field, out) || fail("unreadable byte", base + field);
    }
    bool u32(std::uint32_t base, std::uint32_t field, std::uint32_t& out) {
        return image.read_u32(base + field, out) || fail("unreadable word", base + field);
    }
    bool i32(std::uint32_t base, std::uint32_t field, std::int32_t& out) {
        return image.read_i32(base + field, out) || fail("unreadable word", base + field);
    }
    bool f64(std::uint32_t base, std::uint32_t field, double& out) {
        return image.read_f64(base + field, out) || fail("unreadable real", base + field);
    }
    // A string referenced from the field at base + field.
    bool str(std::uint32_t base, std::uint32_t field, std::string& out) {
        std::uint32_t at = 0;
        if (!u32(base, field, at)) return false;
        return image.read_string(at, out) || fail("unterminated or outside string", at);
    }
    bool count_record(std::uint32_t offset) {
        return ++records <= kMaxRecords || fail("too many records", offset);
    }

    // Walks a chain of 8-byte nodes whose first word is handed to visit.
    template <typename Visit>
    bool chain(std::uint32_t first, Visit visit) {
        std::set<std::uint32_t> seen;
        for (std::uint32_t node = first; node != 0;) {
            if (!seen.insert(node).second) return fail("chain loops", node);
            if (!count_record(node)) return false;
            std::uint32_t value = 0, next = 0;
            if (!image.contains(node, kChainNodeSize)) return fail("chain node outside", node);
            image.read_u32(node, value);
            image.read_u32(node + 4, next);
            if (!visit(value)) return false;
            node = next;
        }
        return true;
    }
    bool string_list(std::uint32_t base, std::uint32_t field, std::vector<std::string>& out) {
        std::uint32_t first = 0;
        if (!u32(base, field, first)) return false;
        return chain(first, [&](std::uint32_t at) {
            std::string s;
            if (!image.read_string(at, s)) return fail("unterminated or outside string", at);
            out.push_back(std::move(s));
            return true;
        });
    }
    bool binding(std::uint32_t base, std::uint32_t field, std::optional<Binding>& out) {
        std::uint32_t at = 0;
        if (!u32(base, field, at)) return false;
        if (at == 0) return true;
        if (!image.contains(at, kBindingSize)) return fail("binding descriptor outside", at);
        Binding b;
        image.read_u8(at, b.tag);
        out = b;
        return true;
    }

    bool control(std::uint32_t at, ControlDefinition& c, const KindLayout& k, int depth);
    bool control_chain(std::uint32_t first, std::vector<ControlDefinition>& out, int depth);
    bool menu_chain(std::uint32_t first, std::vector<MenuDefinition>& out, int depth);
    bool window(std::uint32_t at, WindowDefinition& w);
};

bool Reader::control(std::uint32_t at, ControlDefinition& c, const KindLayout& k, int depth) {
    if (!image.contains(at, k.size)) return fail("control record outside", at);
    c.offset = at;
    c.kind = k.kind;
    image.read_u32(at + ctl::kFlags, c.flags);
    image.read_i32(at + ctl::kField, c.field);
    if (!string_list(at, ctl::kStringList, c.header_strings) || !str(at, ctl::kExtra, c.extra)) return false;
    if (k.binding && !binding(at, k.binding, c.binding)) return false;
    image.read_i32(at + k.pos, c.pos.x);
    image.read_i32(at + k.pos + 4, c.pos.y);
    image.read_i32(at + k.pos + 8, c.pos.width);
    image.read_i32(at + k.pos + 12, c.pos.height);
    if (k.attr) {
        if (!str(at, k.attr, c.attr.message)) return false;
        if (k.attr_size >= kAttributeBlockSize) {
            if (!str(at, k.attr + 8, c.attr.help) || !str(at, k.attr + 20, c.attr.string1) ||
                !str(at, k.attr + 24, c.attr.string2))
                return false;
            image.read_u32(at + k.attr + 12, c.attr.option_word);
            image.read_u32(at + k.attr + 16, c.attr.word);
        }
    }
    if (k.format && !str(at, k.format, c.format)) return false;
    if (k.text && !str(at, k.text, c.text)) return false;
    if (k.picture && !str(at, k.picture, c.picture)) return false;
    if (k.file && !str(at, k.file, c.file)) return false;
    if (k.icon && !str(at, k.icon, c.icon)) return false;
    if (k.colors) {
        image.read_i32(at + k.colors, c.color1);
        image.read_i32(at + k.colors + 4, c.color2);
    }
    if (k.words) {
        image.read_u32(at + k.words, c.word1);
        image.read_u32(at + k.words + 4, c.word2);
    }
    if (k.options) image.read_u8(at + k.options, c.options);
    if (k.display) image.read_u32(at + k.display, c.display);
    if (k.drop) image.read_u8(at + k.drop, c.drop);
    if (k.row_source && !binding(at, k.row_source, c.row_source)) return false;
    if (k.strings && !string_list(at, k.strings, c.strings)) return false;
    if (k.width) image.read_i32(at + k.width, c.width);
    if (k.action) image.read_u32(at + k.action, c.action);
    if (k.low) image.read_f64(at + k.low, c.low);
    if (k.high) image.read_f64(at + k.high, c.high);
    if (k.step) image.read_f64(at + k.step, c.step);
    if (k.children) {
        std::uint32_t first = 0;
        image.read_u32(at + k.children, first);
        if (!control_chain(first, c.children, depth + 1)) return false;
    }
    return true;
}

bool Reader::control_chain(std::uint32_t first, std::vector<ControlDefinition>& out, int depth) {
    if (depth > kMaxDepth) return fail("controls nested too deeply", first);
    std::set<std::uint32_t> seen;
    for (std::uint32_t at = first; at != 0;) {
        if (!seen.insert(at).second) return fail("control chain loops", at);
        if (!count_record(at)) return false;
        std::uint8_t kind = 0;
        std::uint32_t next = 0;
        if (!u8(at, ctl::kKind, kind) || !u32(at, ctl::kNext, next)) return false;
        // A byte without a control class creates nothing; the chain goes on
        // through its next link (report records, the classless kinds).
        if (const KindLayout* k = kind_layout(kind)) {
            ControlDefinition c;
            if (!control(at, c, *k, depth)) return false;
            out.push_back(std::move(c));
        }
        at = next;
    }
    return true;
}

bool Reader::menu_chain(std::uint32_t first, std::vector<MenuDefinition>& out, int depth) {
    if (depth > kMaxDepth) return fail("menus nested too deeply", first);
    std::set<std::uint32_t> seen;
    for (std::uint32_t at = first; at != 0;) {
        if (!seen.insert(at).second) return fail("menu chain loops", at);
        if (!count_record(at)) return false;
        std::uint8_t kind = 0;
        std::uint32_t next = 0;
        if (!u8(at, ctl::kKind, kind) || !u32(at, ctl::kNext, next)) return false;
        if (kind == kKindMenu || kind == kKindItem) {
            const std::uint32_t size = kind == kKindMenu ? menu::kMenuSize : menu::kItemSize;
            if (!image.contains(at, size)) return fail("menu record outside", at);
            MenuDefinition m;
            m.kind = kind;
            image.read_u32(at + menu::kFlags, m.flags);
            image.read_i32(at + menu::kField, m.field);
            if (!str(at, menu::kText, m.text) || !str(at, menu::kMessage, m.message)) return false;
            if (kind == kKindItem) {
                if (!binding(at, menu::kBinding, m.binding)) return false;
                image.read_u32(at + menu::kAction, m.action);
            } else {
                std::uint32_t child = 0;
                image.read_u32(at + menu::kMenuFirstChild, child);
                if (!menu_chain(child, m.children, depth + 1)) return false;
            }
            out.push_back(std::move(m));
        }
        at = next;
    }
    return true;
}

bool Reader::window(std::uint32_t at, WindowDefinition& w) {
    if (!image.contains(at, kWindowRecordSize)) return fail("window record outside", at);
    if (!count_record(at)) return false;
    w.offset = at;
    image.read_u8(at + win::kKind, w.kind);
    if (w.kind != kKindWindow && w.kind != kKindReport) return fail("not a window record", at);
    image.read_u32(at + win::kAttributes, w.attributes);
    image.read_i32(at + win::kX, w.x);
    image.read_i32(at + win::kY, w.y);
    image.read_i32(at + win::kWidth, w.width);
    image.read_i32(at + win::kHeight, w.height);
    if (!str(at, win::kLabel, w.label) || !str(at, win::kTitle, w.title) || !str(at, win::kIcon, w.icon) ||
        !str(at, win::kMessage, w.message) || !str(at, win::kHelp, w.help) || !str(at, win::kCursor, w.cursor))
        return false;
    std::uint32_t font = 0;
    image.read_u32(at + win::kFont, font);
    if (font != 0) {
        if (!image.contains(font, kFontBlockSize)) return fail("font block outside", font);
        FontBlock f;
        if (!str(font, 0, f.name)) return false;
        image.read_i32(font + 4, f.size);
        image.read_i32(font + 8, f.color);
        image.read_i32(font + 12, f.style);
        w.font = f;
    }
    std::uint32_t first = 0;
    image.read_u32(at + win::kAlertKeys, first);
    if (!chain(first, [&](std::uint32_t key) { w.alert_keys.push_back(key); return true; })) return false;
    image.read_u32(at + win::kStatusZones, first);
    if (!chain(first, [&](std::uint32_t width) {
            w.status_zones.push_back(static_cast<std::int32_t>(width));
            return true;
        }))
        return false;
    image.read_u32(at + win::kFrame, w.frame);
    image.read_u32(at + win::kPalette, w.palette);
    image.read_u32(at + win::kTimer, w.timer);
    std::uint32_t bar = 0;
    image.read_u32(at + win::kMenuBar, bar);
    if (bar != 0) {
        if (!image.contains(bar, menu::kBarSize)) return fail("menu bar outside", bar);
        std::uint8_t kind = 0;
        image.read_u8(bar, kind);
        if (kind != kKindMenuBar) return fail("not a menu bar", bar);
        MenuBarDefinition mb;
        image.read_u32(bar + menu::kFlags, mb.flags);
        std::uint32_t child = 0;
        image.read_u32(bar + menu::kBarFirstChild, child);
        if (!menu_chain(child, mb.menus, 0)) return false;
        w.menu_bar = std::move(mb);
    }
    image.read_u32(at + win::kFirstControl, first);
    // A report's chain holds report records only; they have no control class and
    // are passed over like any other classless record.
    return control_chain(first, w.controls, 0);
}

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace

std::optional<DefinitionImage> DefinitionImage::from_body(std::span<const std::uint8_t> body) {
    const void* nul = std::memchr(body.data(), 0, body.size());
    if (!nul) return std::nullopt;
    const std::size_t module_length = static_cast<const std::uint8_t*>(nul) - body.data();
    const std::size_t rest = body.size() - module_length - 1;
    if (rest < 4 || rest > 0x7FFFFFF0u) return std::nullopt;
    DefinitionImage image;
    image.m_module.assign(reinterpret_cast<const char*>(body.data()), module_length);
    image.m_bytes.assign(rest + kImageLead, 0);
    std::memcpy(image.m_bytes.data() + kImageLead, body.data() + module_length + 1, rest);
    return image;
}

bool DefinitionImage::contains(std::uint32_t offset, std::uint32_t length) const {
    return offset <= m_bytes.size() && length <= m_bytes.size() - offset;
}

bool DefinitionImage::read_u8(std::uint32_t offset, std::uint8_t& out) const {
    if (!contains(offset, 1)) return false;
    out = m_bytes[offset];
    return true;
}

bool DefinitionImage::read_u32(std::uint32_t offset, std::uint32_t& out) const {
    if (!contains(offset, 4)) return false;
    out = le32(m_bytes.data() + offset);
    return true;
}

bool DefinitionImage::read_i32(std::uint32_t offset, std::int32_t& out) const {
    std::uint32_t u = 0;
    if (!read_u32(offset, u)) return false;
    out = static_cast<std::int32_t>(u);
    return true;
}

bool DefinitionImage::read_f64(std::uint32_t offset, double& out) const {
    if (!contains(offset, 8)) return false;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | m_bytes[offset + i];
    std::memcpy(&out, &bits, sizeof out);
    return true;
}

bool DefinitionImage::read_string(std::uint32_t offset, std::string& out) const {
    out.clear();
    if (offset == 0) return true;
    if (offset >= m_bytes.size()) return false;
    const void* nul = std::memchr(m_bytes.data() + offset, 0, m_bytes.size() - offset);
    if (!nul) return false;
    out.assign(reinterpret_cast<const char*>(m_bytes.data() + offset),
               static_cast<const std::uint8_t*>(nul) - (m_bytes.data() + offset));
    return true;
}

std::uint32_t DefinitionImage::first_window() const {
    std::uint32_t v = 0;
    read_u32(kImageLead, v);
    return v;
}

bool ControlDefinition::operator==(const ControlDefinition& o) const {
    auto same_real = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    return kind == o.kind && flags == o.flags && header_strings == o.header_strings && field == o.field &&
           extra == o.extra && binding == o.binding && pos == o.pos && attr == o.attr && format == o.format &&
           text == o.text && picture == o.picture && file == o.file && icon == o.icon && color1 == o.color1 &&
           color2 == o.color2 && word1 == o.word1 && word2 == o.word2 && options == o.options &&
           display == o.display && drop == o.drop && row_source == o.row_source && strings == o.strings &&
           width == o.width && action == o.action && same_real(low, o.low) && same_real(high, o.high) &&
           same_real(step, o.step) && children == o.children;
}

bool WindowDefinition::operator==(const WindowDefinition& o) const {
    return kind == o.kind && attributes == o.attributes && x == o.x && y == o.y && width == o.width &&
           height == o.height && label == o.label && font == o.font && title == o.title && icon == o.icon &&
           message == o.message && help == o.help && alert_keys == o.alert_keys && frame == o.frame &&
           palette == o.palette && timer == o.timer && menu_bar == o.menu_bar && cursor == o.cursor &&
           status_zones == o.status_zones && controls == o.controls;
}

std::string resource_name(std::string_view module_string) {
    const auto dollar = module_string.find('$');
    if (dollar == std::string_view::npos) return {};
    std::string name(module_string.substr(dollar + 1));
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
    return name + "_RSC";
}

bool read_window(const DefinitionImage& image, std::uint32_t offset, WindowDefinition& out, std::string* why) {
    Reader r{image, why};
    out = WindowDefinition{};
    return r.window(offset, out);
}

bool read_resource(const DefinitionImage& image, ResourceDefinition& out, std::string* why) {
    out = ResourceDefinition{};
    out.module = image.module_string();
    std::set<std::uint32_t> seen;
    for (std::uint32_t at = image.first_window(); at != 0;) {
        if (!seen.insert(at).second) {
            if (why) *why = "window chain loops at " + std::to_string(at);
            return false;
        }
        WindowDefinition w;
        if (!read_window(image, at, w, why)) return false;
        out.windows.push_back(std::move(w));
        image.read_u32(at + win::kNext, at);
    }
    return true;
}

bool window_labels(const DefinitionImage& image, std::vector<std::pair<std::string, std::uint32_t>>& out) {
    out.clear();
    std::set<std::uint32_t> seen;
    for (std::uint32_t at = image.first_window(); at != 0;) {
        if (!seen.insert(at).second || !image.contains(at, kWindowRecordSize)) return false;
        std::uint32_t label_at = 0;
        std::string label;
        image.read_u32(at + win::kLabel, label_at);
        if (!image.read_string(label_at, label)) return false;
        out.emplace_back(std::move(label), at);
        image.read_u32(at + win::kNext, at);
    }
    return true;
}

}  // namespace sk::ui
