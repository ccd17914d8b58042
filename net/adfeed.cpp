#include "net/adfeed.h"

#include "net/endpoints.h"
#include "net/workers.h"
#include "shell/brand.h"
#include "shell/instance.h"

#include <ctime>

namespace {

constexpr char kAdFeedPath[] = "show?id_site=21&id_channel=62&id_user=1&lang=EN&format=json";

// Set before the request starts, so a failed start also holds off the next
// 30 seconds. 0 until the first request.
int64_t LastAdRequestTime = 0;

}  // namespace

void RequestAdFeed(HWND window)
{
    RequestAdFeedAt(window, _time64(nullptr));
}

bool RequestAdFeedAt(HWND window, int64_t now)
{
    CWrapConfig* config = GetWrapConfig();
    if (!config || !config->advertisements)
        return false;
    // A clock set back holds requests off until it again reads 30 seconds
    // past the last one.
    if (LastAdRequestTime != 0 &&
        (now < LastAdRequestTime || now - LastAdRequestTime < kAdRequestSpacingSeconds))
        return false;
    LastAdRequestTime = now;
    return StartAsyncRequest(kRequestAdFeed, AdServiceUrl(kAdFeedPath).c_str(), nullptr, false, window,
                             WM_HTTP_REQUEST_COMPLETED, 0);
}
