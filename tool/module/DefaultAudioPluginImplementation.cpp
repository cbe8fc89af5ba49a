#include "DefaultAudioPluginImplementation.h"

#include <float.h>

namespace ZV {
namespace Orvel {

void DefaultAudioPluginImplementation::AttachPropertySet(IPropertySet*) {}
void DefaultAudioPluginImplementation::Reserved2(void*) {}
void DefaultAudioPluginImplementation::Reserved3(void*) {}
bool DefaultAudioPluginImplementation::Reserved4() {
    return true;
}
void DefaultAudioPluginImplementation::Reserved5() {}
void DefaultAudioPluginImplementation::Reserved6() {}
bool DefaultAudioPluginImplementation::Reserved7(void*) {
    return false;
}
bool DefaultAudioPluginImplementation::Reserved8(void*) {
    return false;
}
bool DefaultAudioPluginImplementation::Reserved9(void*) {
    return true;
}
void DefaultAudioPluginImplementation::Reserved10(void*) {}
void DefaultAudioPluginImplementation::Reserved11(void*, void*) {}
void DefaultAudioPluginImplementation::Reserved12(void*, void*, void*) {}
void DefaultAudioPluginImplementation::Reserved13(void*, uint32_t, uint32_t) {}
void DefaultAudioPluginImplementation::Reserved14() {}
bool DefaultAudioPluginImplementation::WriteBankData(const PlatformKey&, IBankWriter*) {
    return false;
}
bool DefaultAudioPluginImplementation::Reserved16(void*, uint16_t, void*) {
    return false;
}
bool DefaultAudioPluginImplementation::HandleWindowMessage(DialogKind, HWND, uint32_t, WPARAM,
                                                           LPARAM, LRESULT&) {
    return false;
}
bool DefaultAudioPluginImplementation::Reserved20(void*, void*, uint32_t) {
    return false;
}
bool DefaultAudioPluginImplementation::Reserved21(void*, void*, uint32_t) {
    return false;
}
bool DefaultAudioPluginImplementation::HandleDialogRequest(HWND, DialogKind, void*) {
    return false;
}
void DefaultAudioPluginImplementation::ReceiveMonitorData(const void*, uint32_t, bool) {}
void* DefaultAudioPluginImplementation::Reserved24() {
    return nullptr;
}
uint32_t DefaultAudioPluginImplementation::Reserved25(void*, void*, void*) {
    return 2;
}
bool DefaultAudioPluginImplementation::Reserved26(double& out_fFirst, double& out_fSecond) {
    out_fFirst = 0.0;
    out_fSecond = static_cast<double>(FLT_MAX);
    return false;
}

}  // namespace Orvel
}  // namespace ZV
