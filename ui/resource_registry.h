// Where window definitions come from: resources embedded in the program, keyed by
// resource name and grouped in modules, and then a directory of separate files
// named after the resource, searched after every embedded module.
//
// The build embeds the compiled definitions in generated code that defines
// sk_register_embedded_resources(); the registry calls it once, on first use,
// when it is linked in. Resource names compare without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern "C" void sk_register_embedded_resources();

namespace sk::ui {

inline constexpr const char* kProgramModule = "sitekeeper";
inline constexpr const char* kResourceType = "DABDUMP";

// Registers an embedded resource body in a module (the program's own module by
// default). The bytes are not copied: they must outlive the registry (static
// arrays of generated code). Registering the same name twice in one module
// replaces the earlier body.
void register_embedded_resource(std::string_view name, const std::uint8_t* data, std::size_t size,
                                std::string_view module = kProgramModule);

// The directory searched after the embedded modules; empty switches it off. It
// starts as the directory "resources" beside the program.
void set_resource_directory(std::string directory);
std::string resource_directory();

// One resource found by name.
struct FoundResource {
    std::string module;                 // module name, or the file's path
    std::vector<std::uint8_t> body;
};

// Every resource of this name in search order: the program's module, the other
// modules in registration order, then the directory. A file is read whole; one
// that cannot be read is passed over.
std::vector<FoundResource> find_resources(std::string_view name);

// Tests: drop every module registered with this name (never the program's own
// embedded resources unless asked by name).
void remove_module(std::string_view module);

}  // namespace sk::ui
