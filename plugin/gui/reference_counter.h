// Reference counting of the GUI objects: created with one reference, deleted when the last
// one is given up.
#pragma once
#include <cstdint>

namespace VSTGUI {

class CReferenceCounter {
public:
    CReferenceCounter() = default;
    CReferenceCounter(const CReferenceCounter&) = delete;
    CReferenceCounter& operator=(const CReferenceCounter&) = delete;
    virtual ~CReferenceCounter() = default;

    virtual void forget() {
        if (--nbReference == 0) delete this;
    }
    virtual void remember() { ++nbReference; }
    int32_t getNbReference() const { return nbReference; }

private:
    int32_t nbReference = 1;
};

// Gives up one reference: the deleter of an owning pointer to a GUI object.
struct ForgetReference {
    void operator()(CReferenceCounter* object) const { object->forget(); }
};

}  // namespace VSTGUI
