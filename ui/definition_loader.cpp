// Locating a window definition by module string and label, the failures of the
// open that concern definitions, and pairing bound controls with the procedure's
// binding list.
#include "ui/definition.h"

#include "runtime/error.h"
#include "ui/resource_registry.h"

namespace sk::ui {

namespace {

DefinitionFailure post(int code, const char* module, DefinitionFailure* failure) {
    sk::rt::post_error(code);
    DefinitionFailure f{code, module};
    if (failure) *failure = f;
    return f;
}

// The first window of the chain whose label equals `label`, or 0.
std::uint32_t find_label(const DefinitionImage& image, std::string_view label) {
    std::vector<std::pair<std::string, std::uint32_t>> labels;
    // A chain broken further on still yields the windows before the break.
    window_labels(image, labels);
    for (const auto& [text, offset] : labels)
        if (text == label) return offset;
    return 0;
}

}  // namespace

std::optional<LoadedDefinition> find_window_definition(std::string_view module_string, std::string_view label,
                                                       DefinitionFailure* failure) {
    const std::string name = resource_name(module_string);
    if (!name.empty()) {
        for (FoundResource& found : find_resources(name)) {
            std::optional<DefinitionImage> image = DefinitionImage::from_body(found.body);
            if (!image || image->module_string() != module_string) continue;
            const std::uint32_t at = find_label(*image, label);
            if (at == 0) continue;
            LoadedDefinition loaded;
            if (!read_window(*image, at, loaded.window)) continue;
            loaded.window_offset = at;
            loaded.source_module = std::move(found.module);
            loaded.image = std::move(*image);
            return loaded;
        }
    }
    post(kErrorNoDefinition, kModuleDialog, failure);
    return std::nullopt;
}

DefinitionFailure class_registration_failed() { return post(kErrorClassRegister, kModuleDialog, nullptr); }

void raise_definition_failure(const DefinitionFailure& failure) {
    sk::rt::runtime_error(failure.code, failure.module);
}

namespace {

void collect_slots(const std::vector<ControlDefinition>& chain, std::vector<BindingSlot>& out) {
    for (const ControlDefinition& c : chain) {
        if (c.binding) out.push_back(BindingSlot{&c, false, c.binding->tag});
        if (c.row_source) out.push_back(BindingSlot{&c, true, c.row_source->tag});
        collect_slots(c.children, out);
    }
}

void collect_menus(const std::vector<MenuDefinition>& chain, std::vector<const MenuDefinition*>& out) {
    for (const MenuDefinition& m : chain) {
        if (m.binding) out.push_back(&m);
        collect_menus(m.children, out);
    }
}

}  // namespace

std::vector<BindingSlot> binding_slots(const WindowDefinition& window) {
    std::vector<BindingSlot> out;
    collect_slots(window.controls, out);
    return out;
}

std::vector<const MenuDefinition*> menu_bindings(const WindowDefinition& window) {
    std::vector<const MenuDefinition*> out;
    if (window.menu_bar) collect_menus(window.menu_bar->menus, out);
    return out;
}

bool assign_bindings(const WindowDefinition& window, void* const* list, std::vector<void*>& out,
                     DefinitionFailure* failure) {
    out.clear();
    std::size_t next = 0;
    for (const BindingSlot& slot : binding_slots(window)) {
        if (slot.tag == kBindingTagInvalid) {
            post(kErrorBindingList, kModuleControlUse, failure);
            return false;
        }
        if (!list || !list[next]) {
            post(kErrorBindingList, kModuleDialog, failure);
            return false;
        }
        out.push_back(list[next++]);
    }
    return true;
}

}  // namespace sk::ui
