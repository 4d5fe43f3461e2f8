// Program entry of Sitekeeper.
//
// Initialises the runtime (locale settings and the environment file beside the
// program), sets the application's globals, and runs the application. The window
// engine that shows the frame is not part of this build yet, so the program says
// so and ends through the normal halt path.
#include <string>

#include "app/dictionary.h"
#include "platform/file.h"
#include "runtime/halt.h"
#include "runtime/locale.h"

int main()
{
    sk::rt::init_runtime_locale(sk::platform::program_path());
    sk::app::start_program_globals();
    sk::rt::present_message({"Sitekeeper",
                             "The window engine is still being built; there is nothing to show yet.",
                             sk::rt::kButtonOk, sk::rt::kButtonOk, sk::rt::kIconAsterisk});
    sk::rt::halt(0);
}
