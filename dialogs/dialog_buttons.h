// The OK and Cancel row every modal dialog of the program ends with.
#pragma once

class QDialog;
class QDialogButtonBox;

namespace tessvale {

// "OK" (the default button, object name okButton) tied to the dialog's accept and
// "Cancel" (cancelButton) tied to its reject. The caller places the box.
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog);

} // namespace tessvale
