// "Convert Audio Files..." of the Tools menu: converts files, or every audio file of a folder
// tree, into the main window's output format and folder.
#pragma once

#include <functional>

class QWidget;

namespace bw {

enum class TConvertSourceKind { Cancel, Files, Folder };

// Asks whether to pick files or a folder; tests replace it to answer without a user.
std::function<TConvertSourceKind(QWidget* parent)>& ConvertSourceChooser();

} // namespace bw
