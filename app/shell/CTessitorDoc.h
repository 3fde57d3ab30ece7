// The document of the main window. The program works on the instrument and on PC
// files through its commands, so the document holds nothing and is never saved or
// loaded; the main frame owns the one empty document for the whole run.
#pragma once

namespace quaverly {

class CTessitorDoc {};

}  // namespace quaverly
