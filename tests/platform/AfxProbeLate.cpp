// A static object that the probe library constructs after its application object.
bool g_bLateObjectConstructed = false;

namespace {

struct LateObject {
    LateObject() { g_bLateObjectConstructed = true; }
};

LateObject g_lateObject;

}  // namespace
