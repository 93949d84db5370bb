// A window with nothing but the two traffic views, keeping every piece appended to them in order.
#ifndef BRINDLE_FUZZ_COLLECTING_HOST_H
#define BRINDLE_FUZZ_COLLECTING_HOST_H

#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog_host.h"
#include "res/resource.h"

class CollectingHost final : public DialogHost {
public:
    bool HasControl(int controlId) const override
    {
        return controlId == IDC_TO_SERVER_VIEW || controlId == IDC_TO_CLIENT_VIEW;
    }
    std::string GetControlText(int) const override { return {}; }
    void SetControlText(int, std::string_view) override { }
    void EnableControl(int, bool) override { }
    unsigned GetCheck(int) const override { return 0; }
    void AppendTrafficToEnd(int controlId, std::string_view bytes, TrafficFormat format) override
    {
        pieces.push_back(TrafficText(bytes, format));
        views.push_back(controlId);
    }
    void MessageBox(std::string_view) override { }
    bool SetTimer(unsigned, unsigned) override { return false; }
    bool AppendSystemMenuItem(unsigned, std::string_view) override { return false; }
    void SetIcon(int, bool) override { }
    void RunModalDialog(int, DialogEvents&) override { }
    int RunModal(DialogEvents&) override { return 0; }

    std::vector<std::string> pieces;
    std::vector<int> views; // the view each piece went to
};

#endif
