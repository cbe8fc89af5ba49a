// Loads the sink's engine library as the host engine would, lists its registration records, and
// drives the sink's parameter object through the host allocator: created from an 8-byte bank block,
// then changed one parameter at a time. Ends by checking that every host block came back.

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "AssertHook.h"
#include "HostAllocator.h"
#include "PluginLibrary.h"
#include "SinkPluginParams.h"
#include "ZvResult.h"

// The program is a host: plug-in checks that fail are printed.
static void PrintCheck(const char* in_pszExpression, const char* in_pszSource, int in_iLine) {
    printf("  check failed in %s line %d: %s\n", in_pszSource, in_iLine, in_pszExpression);
}
ZvAssertHook g_pfnZvAssertHook = &PrintCheck;

namespace {

const char* KindName(uint32_t in_eType) {
    switch (in_eType) {
        case ZvPluginTypeEffect:
            return "effect";
        case ZvPluginTypeMixer:
            return "mixer";
        case ZvPluginTypeSink:
            return "sink";
        default:
            return "unknown";
    }
}

// The values in the object's documented layout: after the interface pointer, DirectGain (32-bit
// float), then ChannelConfig (32-bit). The program knows the object only through that layout.
void PrintParams(const char* in_pszWhen, const ZV::IPluginParam* in_pParams) {
    const uint8_t* pFields = reinterpret_cast<const uint8_t*>(in_pParams) + sizeof(void*);
    float fDirectGain;
    uint32_t uChannelConfig;
    memcpy(&fDirectGain, pFields, sizeof(fDirectGain));
    memcpy(&uChannelConfig, pFields + sizeof(fDirectGain), sizeof(uChannelConfig));
    printf("  %-28s DirectGain %.4g, ChannelConfig %u\n", in_pszWhen,
           static_cast<double>(fDirectGain), uChannelConfig);
}

int Run(host::HostAllocator& io_allocator) {
    host::PluginLibrary library;
    if (!library.Load(L"ZvSpatialSink.dll")) {
        fprintf(stderr, "cannot load ZvSpatialSink.dll: %s\n", library.Error().c_str());
        return 1;
    }
    printf("ZvSpatialSink.dll loaded; its registration list:\n");
    for (const ZvPluginRegistration* pRecord = library.Head(); pRecord != nullptr;
         pRecord = pRecord->pNext) {
        printf("  kind %u (%s), company %u, plug-in %u, plug-in factory %s, parameter factory %s\n",
               pRecord->eType, KindName(pRecord->eType), pRecord->uCompanyId, pRecord->uPluginId,
               pRecord->pCreatePlugin != nullptr ? "yes" : "none",
               pRecord->pCreateParam != nullptr ? "yes" : "none");
    }

    const ZvPluginRegistration* pSink = library.Find(kZvCompanyId, kZvSinkPluginId);
    if (pSink == nullptr || pSink->eType != ZvPluginTypeSink || pSink->pCreateParam == nullptr) {
        fprintf(stderr, "no sink (company %u, plug-in %u) with a parameter factory\n", kZvCompanyId,
                kZvSinkPluginId);
        return 1;
    }

    printf("sink parameters:\n");
    ZV::IPluginParam* pParams = pSink->pCreateParam(&io_allocator);
    if (pParams == nullptr) {
        fprintf(stderr, "the parameter factory gave nothing\n");
        return 1;
    }
    // The bank block the design tool writes for gain 0.5 and the twelve-channel layout.
    const uint8_t aBlock[kSinkParamBlockSize] = {0x00, 0x00, 0x00, 0x3F, 0x03, 0x00, 0x00, 0x00};
    ZvResult eResult = pParams->InitParameters(&io_allocator, aBlock, sizeof(aBlock));
    printf("  InitParameters (8-byte block) -> %d\n", eResult);
    PrintParams("from the bank block:", pParams);

    const float fGain = 0.25f;
    eResult = pParams->SetParameter(SinkParamId_DirectGain, &fGain, sizeof(fGain));
    printf("  SetParameter(DirectGain, 0.25) -> %d\n", eResult);
    PrintParams("after the gain change:", pParams);

    const uint32_t uChannelConfig = 1;
    eResult =
        pParams->SetParameter(SinkParamId_ChannelConfig, &uChannelConfig, sizeof(uChannelConfig));
    printf("  SetParameter(ChannelConfig, 1) -> %d\n", eResult);
    PrintParams("after the layout change:", pParams);

    printf("  host blocks in use before TermParameters: %zu\n", io_allocator.OutstandingBlocks());
    eResult = pParams->TermParameters(&io_allocator);
    printf("  TermParameters -> %d\n", eResult);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const bool bHelp = strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0;
        if (!bHelp) {
            fprintf(stderr, "unknown argument: %s\n", argv[i]);
        }
        fprintf(bHelp ? stdout : stderr,
                "usage: plugin_inspect\n"
                "Loads ZvSpatialSink.dll as the engine would, lists its registration records,\n"
                "and drives the sink's parameter object through the host allocator (from a bank\n"
                "block, then one parameter at a time). Exits with 1 if the library or its sink\n"
                "record is missing or a host block is left behind.\n");
        return bHelp ? 0 : 2;
    }
    host::HostAllocator allocator;
    int iExitCode = Run(allocator);
    const size_t uOutstanding = allocator.OutstandingBlocks();
    printf("host allocator: %zu outstanding blocks, %zu bad frees\n", uOutstanding,
           allocator.Errors().size());
    if (uOutstanding != 0 || !allocator.Errors().empty()) {
        iExitCode = 1;
    }
    return iExitCode;
}
