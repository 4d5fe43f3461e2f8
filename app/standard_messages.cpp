// The table of standard messages and the routine that shows them.
#include "app/standard_messages.h"

#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"

#include <string>

namespace sk::app {

namespace {

using sk::rt::kButtonCancel;
using sk::rt::kButtonNo;
using sk::rt::kButtonOk;
using sk::rt::kButtonYes;
using sk::rt::kIconExclamation;
using sk::rt::kIconQuestion;

constexpr int kOkOnly = kButtonOk;
constexpr int kYesNo = kButtonYes | kButtonNo;
constexpr int kYesNoCancel = kButtonYes | kButtonNo | kButtonCancel;
constexpr int kOkCancel = kButtonOk | kButtonCancel;

constexpr std::string_view kPressOkToEnd = ".  Press OK to end this application.";

// A text argument is always used without its trailing blanks.
std::string clipped(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ')
        --end;
    return std::string(text.substr(0, end));
}

std::string lower_cased(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(sk::rt::lower_char(static_cast<unsigned char>(c)));
    return text;
}

void set_box(StandardMessage* out, std::string_view caption, int icon, int buttons,
             int default_button)
{
    out->caption = std::string(caption);
    out->icon = icon;
    out->buttons = buttons;
    out->default_button = default_button;
}

// The warnings of one shape: an exclamation box with OK alone.
void set_warning(StandardMessage* out, std::string_view caption)
{
    set_box(out, caption, kIconExclamation, kOkOnly, kButtonOk);
}

}  // namespace

std::string standard_error_text()
{
    std::string text;
    const int code = sk::rt::error_code();
    if (code == sk::rt::kFileSystemError) {
        text = clipped(sk::rt::driver_error_message());
        text += " (";
        text += clipped(sk::rt::driver_error_code());
        text += ")";
    } else {
        text = clipped(sk::rt::error_text());
        text += " (";
        text += std::to_string(code);
        text += ")";
    }
    if (text.size() > kStandardErrorTextSize)
        text.resize(kStandardErrorTextSize);
    return text;
}

bool build_standard_message(int id, std::string_view text1, std::string_view text2,
                            std::string_view text3, StandardMessage* out)
{
    (void)text3;  // no entry of the table uses a third text
    *out = StandardMessage{};
    const std::string error_text = standard_error_text();
    const std::string a1 = clipped(text1);
    const std::string a2 = clipped(text2);

    switch (id) {
    case 1:
        set_warning(out, "Invalid File");
        out->text = "Error: (" + error_text + ") accessing " + a1 + std::string(kPressOkToEnd);
        out->halt_message = "Invalid File!";
        return true;
    case 2:
        set_box(out, "Invalid Key", kIconQuestion, kYesNo, kButtonYes);
        out->text = a1 + " key file is invalid.  Do you want to rebuild the key?";
        out->halt_message = "Invalid Key!";  // only on No
        return true;
    case 3:
        set_warning(out, "Key Rebuild Error");
        out->text = "Error: (" + error_text + ") repairing key for " + a1 + std::string(kPressOkToEnd);
        out->halt_message = "Error Rebuilding Key!";
        return true;
    case 4:
        set_warning(out, "File Creation Error");
        out->text = "Error: (" + error_text + ") creating " + a1 + std::string(kPressOkToEnd);
        out->halt_message = "File Creation Error!";
        return true;
    case 5:
        set_warning(out, "File Creation Error");
        out->text = "Error: (" + error_text + ") opening created file:" + a1 + std::string(kPressOkToEnd);
        out->halt_message = "File Creation Error!";
        return true;
    case 11:
        set_warning(out, "Field Contents Error");
        out->text = "The value for " + a1 + " must be found in the " + a2 + " file.";
        return true;
    case 14:
        set_warning(out, "Record Insert Error");
        out->text = "An error was experienced during the update of record.  Error: " + error_text + ".";
        return true;
    case 15: {
        set_warning(out, "Update Operation Error");
        const int code = sk::rt::error_code();
        if (code == 0 || code == sk::rt::kRecordChangedByAnother)
            out->text = "This record was changed by another station.";
        else
            out->text = "An error (" + error_text +
                        ") was experienced when attempting to update a record from the file.  "
                        "Probable Cause: " + a1 + ".";
        return true;
    }
    case 16:
        set_box(out, "Record Update Error", kIconExclamation, kYesNoCancel, kButtonCancel);
        out->text = "An error was experienced changing this record.  Do you want to try to save again?";
        return true;
    case 17:
        set_warning(out, "Delete Operation Error");
        out->text = "An error (" + error_text +
                    ") was experienced when attempting to delete a record from the file " + a1 + ".";
        return true;
    case 18:
        set_box(out, "Record Update Error", kIconExclamation, kYesNoCancel, kButtonCancel);
        out->text = "An error was experienced deleting this record.  Do you want to try to save again?";
        return true;
    case 24:
        set_warning(out, "Duplicate Key Error");
        out->text = "Adding this record creates a duplicate entry for the key:" + a1;
        return true;
    case 26:
        set_warning(out, "File Load Error");
        out->text = a1 + " File Load Error.  Error: " + error_text + ".";
        return true;
    case 27:
        set_box(out, "Cancel Request", kIconQuestion, kOkCancel, kButtonCancel);
        out->text = "Are you certain you want to stop loading " + a1 + "?";
        return true;
    case 28:
        set_warning(out, "File Load Error");
        out->text = a1 + " File Load Error.  The file you've requested contains no text.";
        return true;
    case 29:
        if (a1 == "Down") {
            set_box(out, "End of File Error", kIconQuestion, kYesNo, kButtonYes);
            out->text = "The end of the viewed file was encountered.  "
                        "Do you want to start again from the beginning?";
        } else {
            set_box(out, "Beginning of File Error", kIconQuestion, kYesNo, kButtonYes);
            out->text = "The beginning of the viewed file was encountered.  "
                        "Do you want to start again from the end of the file?";
        }
        return true;
    case 30:
        // The caller (the file opener) ends the program after this one.
        set_warning(out, "File Access Error");
        out->text = "File (" + a1 + ") could not be opened.  Error: " + error_text + ".";
        return true;
    case 32:
        set_box(out, "Confirm Delete", kIconQuestion, kOkCancel, kButtonCancel);
        out->text = "You've selected to delete the highlighted record.  "
                    "Press OK to confirm deletion of this record.";
        return true;
    case 34:
        set_warning(out, "Transaction Framing Error");
        out->text = "Error: (" + error_text + ") attempting to frame the " + lower_cased(a1) +
                    " transaction on " + a2 + ".  " + a1 + " transaction cancelled.";
        return true;
    case 35:
        set_warning(out, "Record Retrieval Error");
        out->text = "Error: (" + error_text + ") attempting to access a record from the " + a1 +
                    " file.  Returning to previous window.";
        return true;
    case 36:
        set_warning(out, "View Open Error");
        out->text = "Error: (" + error_text +
                    ") attempting to open the current VIEW. Filter and Range Limits ignored.";
        return true;
    default:
        return false;
    }
}

int ShowStandardMessage(int id, std::string_view text1, std::string_view text2,
                        std::string_view text3)
{
    StandardMessage message;
    if (!build_standard_message(id, text1, text2, text3, &message))
        return 0;

    sk::rt::MessageRequest request;
    request.caption = message.caption;
    request.text = message.text;
    request.buttons = message.buttons;
    request.default_button = message.default_button;
    request.icon = message.icon;
    const int answer = sk::rt::present_message(request);

    if (id == 2) {
        if (answer == kButtonNo)
            sk::rt::halt(0, message.halt_message);
        return kButtonYes;
    }
    if (!message.halt_message.empty())
        sk::rt::halt(0, message.halt_message);
    return answer;
}

}  // namespace sk::app
