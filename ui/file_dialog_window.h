// The window of the file dialog, drawn by the engine itself over a FileDialogModel.
#pragma once

#include <string_view>

#include "ui/file_dialog.h"

namespace sk::ui {

// Shows the dialog until the user confirms a file (true: model.result() holds its
// path) or cancels (false). The name field starts with the model's name selected.
// The global runtime lock is given up while it waits.
bool run_file_dialog_window(std::string_view title, FileDialogModel& model);

}  // namespace sk::ui
