#include "extract/curlapi.h"

#include "core/errorreport.h"

#include <QScopeGuard>

#include <string>

#include <windows.h>

#define SECURITY_WIN32
#include <security.h>
#include <wincrypt.h>

#include <schannel.h>

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

bool certificateTrusted(const CurlApi &api, CURL *easy, const QString &host)
{
    const curl_tlssessioninfo *tls = nullptr;
    if (api.easyGetinfo(easy, CURLINFO_TLS_SSL_PTR, &tls) != CURLE_OK || !tls
        || tls->backend != CURLSSLBACKEND_SCHANNEL || !tls->internals)
        return false;
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesW(static_cast<CtxtHandle *>(tls->internals), SECPKG_ATTR_REMOTE_CERT_CONTEXT,
                                &certificate)
            != SEC_E_OK
        || !certificate)
        return false;
    const auto freeCertificate = qScopeGuard([certificate] { CertFreeCertificateContext(certificate); });
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // The intermediate certificates come in the server's own store, or in
    // what schannel fetched for its own check just before. Nothing is
    // fetched here (no revocation lookup either): on the window's thread
    // it could wait on the network without bound, past Stop.
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara,
                                 CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &chain))
        return false;
    const auto freeChain = qScopeGuard([chain] { CertFreeCertificateChain(chain); });
    std::wstring name = host.toStdWString();
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl = {};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)
           && status.dwError == 0;
}

} // namespace zd
