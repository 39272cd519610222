#pragma once

#include <QString>

#include <curl/curl.h>

namespace zd {

/// The libcurl functions the downloader calls. On Linux libcurl is loaded at
/// the first download: linked, it and the fifteen libraries it brings added
/// about 8 ms to every start. Windows links its own static copy.
struct CurlApi
{
    decltype(&curl_global_init) globalInit;
    decltype(&curl_easy_init) easyInit;
    decltype(&curl_easy_cleanup) easyCleanup;
    decltype(&curl_easy_setopt) easySetopt;
    decltype(&curl_easy_getinfo) easyGetinfo;
    decltype(&curl_easy_pause) easyPause;
    decltype(&curl_multi_init) multiInit;
    decltype(&curl_multi_cleanup) multiCleanup;
    decltype(&curl_multi_setopt) multiSetopt;
    decltype(&curl_multi_add_handle) multiAddHandle;
    decltype(&curl_multi_remove_handle) multiRemoveHandle;
    decltype(&curl_multi_socket_action) multiSocketAction;
    decltype(&curl_multi_info_read) multiInfoRead;
    decltype(&curl_slist_append) slistAppend;
    decltype(&curl_slist_free_all) slistFreeAll;
};

/// libcurl's functions, initialized once; throws Failure when it cannot be
/// loaded.
const CurlApi &curlApi();

/// Whether the certificate of \a easy's TLS connection, just made, passes
/// the system's own check for \a host: its chain to a trusted root and its
/// name. Linux: libcurl's OpenSSL has checked it. Windows: schannel under
/// Wine lets any certificate through, so it is checked again here.
bool certificateTrusted(const CurlApi &api, CURL *easy, const QString &host);

} // namespace zd
