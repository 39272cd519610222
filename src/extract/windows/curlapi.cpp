#include "extract/curlapi.h"

#include "core/errorreport.h"

namespace zd {

const CurlApi &curlApi()
{
    static const CurlApi api{&curl_global_init,      &curl_easy_init,           &curl_easy_cleanup,
                             &curl_easy_setopt,      &curl_easy_getinfo,        &curl_easy_pause,
                             &curl_multi_init,       &curl_multi_cleanup,       &curl_multi_setopt,
                             &curl_multi_add_handle, &curl_multi_remove_handle, &curl_multi_socket_action,
                             &curl_multi_info_read,  &curl_slist_append,        &curl_slist_free_all};
    static const bool initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialized)
        throw Failure(QStringLiteral("libcurl could not be initialized"));
    return api;
}

} // namespace zd
