// Window definitions: the definition image with its typed readers, the in-memory
// model of window, control and menu records, and the loader that finds a window by
// module string and label among the registered resources.
//
// The byte layout is in ui/definition_format.h. Reading never trusts the image:
// every offset is bounds-checked, strings must end inside the image, chains are cut
// when they loop, and a corrupt image gives a clean failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/definition_format.h"

namespace sk::ui {

// A definition image: two zero bytes, then the resource body after its module string.
class DefinitionImage {
public:
    DefinitionImage() = default;
    // Builds the image from a resource body; nullopt when the body has no
    // terminated module string or no room for the first-window offset.
    static std::optional<DefinitionImage> from_body(std::span<const std::uint8_t> body);

    const std::string& module_string() const { return m_module; }
    std::size_t size() const { return m_bytes.size(); }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

    // Typed readers at an image offset; false when the field does not lie inside.
    bool read_u8(std::uint32_t offset, std::uint8_t& out) const;
    bool read_u32(std::uint32_t offset, std::uint32_t& out) const;
    bool read_i32(std::uint32_t offset, std::int32_t& out) const;
    bool read_f64(std::uint32_t offset, double& out) const;
    // Offset 0 reads as "". False when the offset is outside or no terminator follows.
    bool read_string(std::uint32_t offset, std::string& out) const;
    bool contains(std::uint32_t offset, std::uint32_t length) const;

    std::uint32_t first_window() const;  // 0 when the field is unreadable

private:
    std::string m_module;
    std::vector<std::uint8_t> m_bytes;
};

struct FontBlock {
    std::string name;
    std::int32_t size = 0;
    std::int32_t color = -1;
    std::int32_t style = -1;
    bool operator==(const FontBlock&) const = default;
};

struct Binding {
    std::uint8_t tag = 0;
    bool operator==(const Binding&) const = default;
};

struct Position {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Position&) const = default;
};

inline constexpr std::int32_t kDefault = static_cast<std::int32_t>(kDefaultValue);

struct AttributeBlock {
    std::string message;
    std::string help;
    std::uint32_t option_word = 0;
    std::uint32_t word = 0;
    std::string string1;
    std::string string2;
    bool operator==(const AttributeBlock&) const = default;
};

// One control record. Fields a kind does not have stay at their defaults; the
// writer ignores them and the loader never sets them.
struct ControlDefinition {
    std::uint8_t kind = 0;
    std::uint32_t flags = 0;
    std::vector<std::string> header_strings;  // offset 9
    std::int32_t field = 0;
    std::string extra;                        // offset 17
    std::optional<Binding> binding;
    Position pos;
    AttributeBlock attr;
    std::string format, text, picture, file, icon;
    std::int32_t color1 = -1, color2 = -1;
    std::uint32_t word1 = 0, word2 = 0;
    std::uint8_t options = 0;
    std::uint32_t display = 0;
    std::uint8_t drop = 0;
    std::optional<Binding> row_source;
    std::vector<std::string> strings;         // kind-specific string list
    std::int32_t width = 0;
    std::uint32_t action = 0;
    double low = 0, high = 0, step = 0;
    std::vector<ControlDefinition> children;  // TABs, page controls, RADIOs
    // Set by the loader: where the record sits, for diagnostics and tests.
    std::uint32_t offset = 0;
    bool operator==(const ControlDefinition& o) const;
};

struct MenuDefinition {
    std::uint8_t kind = kKindItem;  // 19 menu or 20 item
    std::uint32_t flags = 0;
    std::int32_t field = 0;
    std::optional<Binding> binding;
    std::string text;
    std::string message;
    std::uint32_t action = 0;
    std::vector<MenuDefinition> children;
    bool is_separator() const { return kind == kKindItem && ((flags & kItemSeparator) || text.empty()); }
    bool operator==(const MenuDefinition&) const = default;
};

struct MenuBarDefinition {
    std::uint32_t flags = 0;
    std::vector<MenuDefinition> menus;
    bool operator==(const MenuBarDefinition&) const = default;
};

struct WindowDefinition {
    std::uint8_t kind = kKindWindow;
    std::uint32_t attributes = 0;
    std::int32_t x = kDefault, y = kDefault, width = 0, height = 0;
    std::string label;
    std::optional<FontBlock> font;
    std::string title;
    std::string icon;
    std::string message;
    std::string help;
    std::vector<std::uint32_t> alert_keys;
    std::uint32_t frame = 0;
    std::uint32_t palette = 0;
    std::uint32_t timer = 0;
    std::optional<MenuBarDefinition> menu_bar;
    std::string cursor;
    std::vector<std::int32_t> status_zones;
    std::vector<ControlDefinition> controls;
    std::uint32_t offset = 0;  // set by the loader
    bool operator==(const WindowDefinition& o) const;
};

// A whole resource: its module string and window chain, plus zero bytes the
// writer appends after the last record.
struct ResourceDefinition {
    std::string module;
    std::vector<WindowDefinition> windows;
    std::uint32_t padding = 0;
};

// Reading records out of an image. Each returns false on any unreadable field,
// with a short reason in *why when given.
bool read_window(const DefinitionImage& image, std::uint32_t offset, WindowDefinition& out,
                 std::string* why = nullptr);
// Every window of the chain from the first-window offset.
bool read_resource(const DefinitionImage& image, ResourceDefinition& out, std::string* why = nullptr);
// The labels of the window chain, without reading the windows' controls.
bool window_labels(const DefinitionImage& image, std::vector<std::pair<std::string, std::uint32_t>>& out);

// ---- Locating and loading -------------------------------------------------

// Module names recorded with the failures the loader and the binding step report.
inline constexpr const char* kModuleDialog = "WSLDIAL";
inline constexpr const char* kModuleControlUse = "CTLUSE";

inline constexpr int kErrorBindingList = 501;     // "Internal error 01"
inline constexpr int kErrorNoDefinition = 502;    // "Internal error 02"
inline constexpr int kErrorClassRegister = 503;   // "Internal error 03"

struct DefinitionFailure {
    int code = 0;
    const char* module = "";
};

// "LKDB32$lkdb3001" -> "LKDB3001_RSC"; empty when the module string has no "$".
std::string resource_name(std::string_view module_string);

struct LoadedDefinition {
    DefinitionImage image;
    std::uint32_t window_offset = 0;
    std::string source_module;  // the registry module the resource came from
    WindowDefinition window;
};

// Finds the window labelled `label` (exact bytes) in the first resource, in
// registry search order, whose module string equals `module_string`. On failure
// posts 502 to the error state and returns nullopt with *failure set to {502,
// "WSLDIAL"}; a resource that matched but could not be read is passed over like a
// resource without the label.
std::optional<LoadedDefinition> find_window_definition(std::string_view module_string, std::string_view label,
                                                       DefinitionFailure* failure = nullptr);

// The failure of a native window class registration for a loaded definition:
// posts 503 and gives {503, "WSLDIAL"}.
DefinitionFailure class_registration_failed();

// Posts the failure's code and shows it as a runtime error box with its module
// name as the detail (fatal while runtime errors are fatal).
void raise_definition_failure(const DefinitionFailure& failure);

// ---- Bindings ----------------------------------------------------------------

// The bound fields of a window's controls in the order they consume the
// procedure's binding list: depth first, parents before children, siblings in
// chain order, within a record the variable binding before the row source.
struct BindingSlot {
    const ControlDefinition* control = nullptr;
    bool is_row_source = false;
    std::uint8_t tag = 0;
};
std::vector<BindingSlot> binding_slots(const WindowDefinition& window);
// Menu items' bindings, depth first.
std::vector<const MenuDefinition*> menu_bindings(const WindowDefinition& window);

// Pairs the slots with a zero-terminated list of variable references. A tag of
// 23 fails with {501, "CTLUSE"}, a list shorter than the slots with {501,
// "WSLDIAL"}; both post 501. On success `out` has one reference per slot.
bool assign_bindings(const WindowDefinition& window, void* const* list, std::vector<void*>& out,
                     DefinitionFailure* failure = nullptr);

// ---- Measurement units -------------------------------------------------------

// What the conversion needs of the display: the window font's text width and
// cell height (absent when the window has no font), the device's logical pixels
// per inch, and whether the device can be measured at all.
struct UnitContext {
    int (*text_width)(std::string_view text, const void* font) = nullptr;
    const void* font = nullptr;
    int char_height = 0;
    int dpi_x = 96;
    int dpi_y = 96;
    bool device_measurable = true;
};

struct UnitScale {
    std::int32_t hmul = 1, vmul = 1, div = 1;
    int avg_char_width = 0;  // 0 when no font
    int char_height = 0;
};

// ((width of the 52 letters) / 26 + 1) / 2.
int average_char_width(const UnitContext& context);
UnitScale unit_scale(std::uint32_t window_attributes, const UnitContext& context);
// value × multiplier / divisor, rounded to nearest; 0x80000000 gives 0.
std::int32_t to_pixels(const UnitScale& scale, bool horizontal, std::int32_t value);
std::int32_t to_units(const UnitScale& scale, bool horizontal, std::int32_t pixels);

struct PixelRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PixelRect&) const = default;
};

// The natural size in pixels of a control of this kind with this text.
struct PixelSize {
    std::int32_t width = 0, height = 0;
    bool operator==(const PixelSize&) const = default;
};
PixelSize natural_size(const ControlDefinition& control, const UnitScale& scale, const UnitContext& context);

// A control's rectangle in its window's client area: edges converted separately,
// the container's origin added, and the natural size used where the width or
// height is 0x80000000.
PixelRect control_rect(const ControlDefinition& control, const UnitScale& scale, const UnitContext& context,
                       std::int32_t origin_x, std::int32_t origin_y);

}  // namespace sk::ui
