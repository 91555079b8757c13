// form-layout NAME...: where the named controls of the updater's main window
// are at its designed size, one line each: "NAME X Y", the centre of the
// control in the form's client area. The demo clicks the buttons there
// instead of restating the layout.
#include "app/Layout.h"

#include <cstdio>
#include <stdexcept>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: form-layout NAME...\n");
        return 2;
    }
    try {
        for (int i = 1; i < argc; ++i) {
            int left = 0;
            int top = 0;
            const app::FormControl* control = &app::FormControlNamed(argv[i]);
            const app::Rect own = control->geometry;
            for (; control; control = control->parent ? &app::FormControlNamed(control->parent) : nullptr) {
                left += control->geometry.left;
                top += control->geometry.top;
            }
            std::printf("%s %d %d\n", argv[i], left + own.width / 2, top + own.height / 2);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "form-layout: %s\n", error.what());
        return 1;
    }
    return 0;
}
