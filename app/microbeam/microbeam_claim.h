#pragma once
// Only one Microbeam run or frame check runs at a time in the whole program: both windows'
// engines take this claim when they start and give it back when they stop, end or are destroyed.

#include <QString>

namespace microbeam {

class MicrobeamClaim {
public:
    // What holds the claim; shown in the refusal text.
    enum class Holder { None, MicrobeamRun, FrameCheck };

    MicrobeamClaim() = default; // holds nothing
    ~MicrobeamClaim() { release(); }
    MicrobeamClaim(MicrobeamClaim&& other) noexcept;
    MicrobeamClaim& operator=(MicrobeamClaim&& other) noexcept;
    MicrobeamClaim(const MicrobeamClaim&) = delete;
    MicrobeamClaim& operator=(const MicrobeamClaim&) = delete;

    // Takes the program-wide claim for `holder`; the returned token holds nothing (held() false)
    // when another token holds it already.
    static MicrobeamClaim take(Holder holder);
    // What holds the claim now (None when it is free).
    static Holder current();
    // The message for a refused start, naming what runs now, for example
    // "A Microbeam run is in progress; stop it before starting another Microbeam run or frame
    // check."
    static QString refusalText();

    bool held() const { return m_held; }
    // Gives the claim back (nothing when this token does not hold it).
    void release();

private:
    bool m_held = false;
};

} // namespace microbeam
