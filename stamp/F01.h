// The main window unit: TTFZarn and its creation handler, the start-up dispatch.
#pragma once

namespace zarn {

class TTFZarn {
public:
    // The start-up dispatch: no argument sounds the tone; an existing file as the first argument
    // is stamped into the program's folder. Ends by asking the application to end. A failure of
    // the stamping run leaves as TFailure, before the end request.
    void FormCreate();
};

}  // namespace zarn
