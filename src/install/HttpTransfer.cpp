#include "install/HttpTransfer.h"

#include <curl/curl.h>

#include <mutex>

namespace {

// libcurl's process-wide set-up, once, before the first handle (it isn't thread-safe itself;
// every use of libcurl goes through run(), which calls this first).
void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// libcurl's codes in the terms the downloader already reads (Qt's), so that a drop, a refused
// connection or a failed handshake is judged the same whichever stack carried the bytes.
QNetworkReply::NetworkError networkError(CURLcode code)
{
    using E = QNetworkReply::NetworkError;
    switch (code) {
    case CURLE_OK: return E::NoError;
    case CURLE_COULDNT_CONNECT: return E::ConnectionRefusedError;
    case CURLE_COULDNT_RESOLVE_HOST: return E::HostNotFoundError;
    case CURLE_COULDNT_RESOLVE_PROXY: return E::ProxyNotFoundError;
    case CURLE_OPERATION_TIMEDOUT: return E::TimeoutError;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: return E::SslHandshakeFailedError;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return E::RemoteHostClosedError;
    case CURLE_UNSUPPORTED_PROTOCOL: return E::ProtocolUnknownError;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: return E::ProtocolFailure;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR: return E::OperationCanceledError;
    default: return E::UnknownNetworkError;
    }
}

struct Context
{
    const HttpTransfer::Body *body = nullptr;
    const std::atomic<bool> *stop = nullptr;
    HttpTransfer::Answer answer;
    bool refused = false; // the body callback said no
};

size_t onHeader(char *bytes, size_t size, size_t count, void *user)
{
    auto &context = *static_cast<Context *>(user);
    const QByteArray line = QByteArray(bytes, qsizetype(size * count)).trimmed();
    HttpTransfer::Answer &answer = context.answer;
    if (line.startsWith("HTTP/")) {
        // A new answer (after a 100 Continue, say): only the last one's headers count.
        const int status = line.split(' ').value(1).toInt();
        answer = HttpTransfer::Answer();
        answer.status = status;
        return size * count;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return size * count;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "location")
        answer.location = value;
    else if (name == "etag")
        answer.etag = value;
    else if (name == "last-modified")
        answer.lastModified = value;
    else if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.toLongLong(&ok);
        answer.contentLength = ok ? length : -1;
    }
    return size * count;
}

size_t onBody(char *bytes, size_t size, size_t count, void *user)
{
    auto &context = *static_cast<Context *>(user);
    const qint64 length = qint64(size * count);
    // A stop is noticed at the next piece: on a fast link one turn of libcurl's loop can read
    // for as long as data keeps coming.
    if (*context.stop || !(*context.body)(bytes, length, context.answer)) {
        context.refused = true;
        return 0; // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    return size_t(length);
}

} // namespace

struct HttpTransfer::Handles
{
    CURLM *multi = nullptr;
    std::mutex mutex; // stop() against the end of run(): the multi handle is woken only while it lives
};

HttpTransfer::HttpTransfer()
    : m_handles(std::make_unique<Handles>())
{
}

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::stop()
{
    m_stop = true;
    std::lock_guard lock(m_handles->mutex);
    if (m_handles->multi)
        curl_multi_wakeup(m_handles->multi);
}

HttpTransfer::Answer HttpTransfer::run(const Request &request, const Body &body, const Tick &tick,
                                       std::chrono::milliseconds tickEvery)
{
    initialiseOnce(); // here, on the worker: loading the TLS library takes the main thread no time
    Context context;
    context.body = &body;
    context.stop = &m_stop;
    CURL *easy = curl_easy_init();
    CURLM *multi = curl_multi_init();
    if (!easy || !multi) {
        if (easy)
            curl_easy_cleanup(easy);
        if (multi)
            curl_multi_cleanup(multi);
        context.answer.error = QNetworkReply::UnknownNetworkError;
        context.answer.errorText = QStringLiteral("The network library could not start.");
        return context.answer;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const QByteArray url = request.url.toEncoded();
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L); // each hop is the caller's to judge
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    // Large reads: fewer system calls per gigabyte (libcurl caps it at what it supports).
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 1024L * 1024L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &context);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &context);
    curl_slist *headers = nullptr;
    for (const auto &[name, value] : request.headers)
        headers = curl_slist_append(headers, QByteArray(name + ": " + value).constData());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    QByteArray trusted = request.trustedCertificates.value_or(QByteArray());
    if (request.trustedCertificates) {
        curl_blob blob{trusted.data(), size_t(trusted.size()), CURL_BLOB_NOCOPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    curl_multi_add_handle(multi, easy);
    {
        std::lock_guard lock(m_handles->mutex);
        m_handles->multi = multi;
    }

    const int waitMs = int(std::max<qint64>(1, tickEvery.count()));
    int running = 1;
    while (running > 0) {
        if (m_stop || !tick()) {
            context.answer.stopped = true;
            break;
        }
        if (curl_multi_perform(multi, &running) != CURLM_OK || running == 0)
            break;
        curl_multi_poll(multi, nullptr, 0, waitMs, nullptr);
    }
    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    }
    if (!context.answer.stopped && (context.refused || m_stop))
        context.answer.stopped = true;
    if (!context.answer.stopped && result != CURLE_OK) {
        context.answer.error = networkError(result);
        context.answer.errorText = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(result));
    }

    {
        std::lock_guard lock(m_handles->mutex);
        m_handles->multi = nullptr;
    }
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);
    return context.answer;
}
