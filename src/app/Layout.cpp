#include "app/Layout.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace app {

const FormControl& FormControlNamed(std::string_view name)
{
    const std::size_t index = FormControlIndex(name);
    if (index == kFormControlCount)
        throw std::out_of_range("The form has no control " + std::string(name));
    return kFormControls[index];
}

DockedRects DockControls(int width, int height, int timeWidth)
{
    constexpr int kButtonRow = 42;
    constexpr int kProgressArea = 112;
    constexpr int kVersionRows = 46;
    // Distances of the anchored controls to the right and bottom edges of
    // their parents as designed.
    constexpr int kOkRight = kDesignedClientWidth - 467;
    constexpr int kCancelRight = kDesignedClientWidth - 555;
    constexpr int kProgressRight = kDesignedClientWidth - 621;
    constexpr int kMemoRight = kDesignedClientWidth - 610;
    constexpr int kMemoBottom = 256 - 241;

    DockedRects r;
    r.Panel2 = {0, height - kButtonRow, width, kButtonRow};
    r.btOK = {width - kOkRight, 9, 75, 25};
    r.btCancel = {width - kCancelRight, 9, 75, 25};
    r.plUp = {0, height - kButtonRow - kProgressArea, width, kProgressArea};
    r.lUpdateTime = {width - kProgressRight - timeWidth, 21, timeWidth, 13};
    r.ProgressBar2 = {17, 40, width - 17 - kProgressRight, 17};
    r.Panel3 = {0, height - kButtonRow - kProgressArea - kVersionRows, width, kVersionRows};
    r.Panel4 = {1, 1, width - 2, 22};
    r.Panel5 = {1, 23, width - 2, 22};
    const int infoHeight = std::max(0, height - kButtonRow - kProgressArea - kVersionRows);
    r.plInfo = {0, 0, width, infoHeight};
    r.Memo2 = {46, 22, std::max(0, width - 46 - kMemoRight), std::max(0, infoHeight - 22 - kMemoBottom)};
    return r;
}

}  // namespace app
