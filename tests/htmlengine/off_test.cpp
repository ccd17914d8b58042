// A prefix prepared with the engine switched off: no HTML engine at all,
// not even Wine's own that cannot show pages.
#include <windows.h>
#include <exdisp.h>

#include <gtest/gtest.h>

namespace {

TEST(EngineOff, NeitherTheBrowserNorTheDocumentCanBeCreated)
{
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    const CLSID htmlDocument = {0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};
    const DWORD anyContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
    for (const CLSID* clsid : {&CLSID_WebBrowser, &htmlDocument}) {
        IUnknown* object = nullptr;
        EXPECT_TRUE(FAILED(CoCreateInstance(*clsid, nullptr, anyContext, IID_IUnknown, reinterpret_cast<void**>(&object))));
        EXPECT_EQ(nullptr, object);
        if (object) object->Release();
    }
    CoUninitialize();
}

}  // namespace
