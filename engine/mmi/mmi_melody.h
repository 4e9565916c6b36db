// The melody screen's callbacks that the engine makes. The screen registers
// itself in gv_pMelodyView while it exists; the engine calls nothing while
// the pointer is null.
#pragma once

#include <string>

class MmiMelodyView {
public:
    virtual ~MmiMelodyView() = default;
    // One melody read from the phone: the header (index in decimal, a comma,
    // the name in double quotes, a comma, the value in decimal) and the
    // notes text.
    virtual void mmi_MELODY_add_melody(const std::string& header, const std::string& notes) = 0;
    // The phone finished playing a melody (~MMPI).
    virtual void mmi_MELODY_stop_ind() = 0;
};

extern MmiMelodyView* gv_pMelodyView;
