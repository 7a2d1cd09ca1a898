// The main window unit: TTFZarn, the program's one (hidden) window, and its creation handler
// FormCreate, the start-up dispatch.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "stamp/form.h"
#include "stamp/startup_settings.h"
#include "win/failure.h"
#include "win/handle.h"

namespace zarn {

class TTFZarn {
public:
    // Built-in defaults, then the stored properties of the RCDATA resource named after the class,
    // in their stored order. A missing or corrupt resource, an unknown property, a value of the
    // wrong kind or a handler name the class does not publish throws TFailure. settings: what
    // start-up fixed, for the stamping run; report: the shell's, which the files of the start are
    // stamped through (it outlives the window).
    TTFZarn(HINSTANCE instance, const TStartupSettings& settings, TStartReport& report);

    // Runs the creation handler that OnCreate bound, if any.
    void DoCreate();

    // Creates the system window, hidden, owned by owner. It is never shown. Fails with the window
    // message.
    void CreateSystemWindow(HWND owner);
    HWND Window() const { return window_.Get(); }

    // The start-up dispatch: no argument sounds the tone; each argument that names an existing file
    // is stamped into the program's folder, in order, through the report, which then shows what
    // they raised. Ends by asking the application to end.
    void FormCreate();

private:
    using THandler = void (TTFZarn::*)();
    void SetProperty(const TFormProperty& property);

    HINSTANCE instance_;
    TStartupSettings settings_;
    TStartReport& report_;
    int left_ = 0;
    int top_ = 0;
    int clientWidth_ = 320;
    int clientHeight_ = 240;
    std::u16string caption_ = u"TFZarn";
    int color_ = COLOR_BTNFACE;  // a system colour index
    struct {
        int charset = DEFAULT_CHARSET;
        int color = COLOR_WINDOWTEXT;
        int height = -11;
        std::u16string name = u"Tahoma";
        std::vector<std::string> style;
    } font_;
    bool oldCreateOrder_ = false;
    THandler onCreate_ = nullptr;
    int pixelsPerInch_ = 96;
    int textHeight_ = 13;
    TWindowHandle window_;
};

}  // namespace zarn
