// The stand-in's reader of resource scripts on any text. It must answer every input, quickly and
// within bounded memory and stack, with either dialogs and no error or an error naming a line and
// no dialogs; and it must read the same text the same way twice.

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "FuzzCheck.h"
#include "standin/ResourceScript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* in_pData, size_t in_uSize) {
    const std::string text(reinterpret_cast<const char*>(in_pData), in_uSize);
    standin::ResourceScript script;
    std::string error;
    const bool bRead = standin::ParseResourceScript(text, script, error);
    if (bRead) {
        FUZZ_CHECK(error.empty());
    } else {
        FUZZ_CHECK(error.compare(0, 5, "line ") == 0);
        FUZZ_CHECK(script.dialogs.empty());
    }

    standin::ResourceScript again;
    std::string againError;
    FUZZ_CHECK(standin::ParseResourceScript(text, again, againError) == bRead);
    FUZZ_CHECK(againError == error);
    FUZZ_CHECK(again.dialogs.size() == script.dialogs.size());
    for (size_t i = 0; i < script.dialogs.size(); ++i) {
        FUZZ_CHECK(again.dialogs[i].controls.size() == script.dialogs[i].controls.size());
        FUZZ_CHECK(again.dialogs[i].caption == script.dialogs[i].caption);
    }
    return 0;
}
