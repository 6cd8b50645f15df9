#include "demo/FeedServer.h"

#include <httplib.h>

#include <QMap>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

struct FeedServer::State
{
    std::unique_ptr<httplib::Server> server;
    bool tls = false;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::map<std::string, Route> routes;
    std::map<std::string, std::function<Route()>> dynamicRoutes;
    std::map<std::string, int> hits;
    std::map<std::string, httplib::Headers> headers;
    std::map<std::string, std::vector<std::string>> rangeRequests; // the Range header of each request
    std::map<std::string, bool> dropped;

    void answer(const httplib::Request &request, httplib::Response &response)
    {
        Route route;
        {
            std::lock_guard lock(mutex);
            ++hits[request.path];
            headers[request.path] = request.headers;
            if (request.has_header("Range"))
                rangeRequests[request.path].push_back(request.get_header_value("Range"));
            if (const auto chosen = dynamicRoutes.find(request.path); chosen != dynamicRoutes.end()) {
                route = chosen->second();
            } else if (const auto it = routes.find(request.path); it != routes.end()) {
                route = it->second;
            } else {
                response.status = 404;
                response.set_content("not found", "text/plain");
                return;
            }
        }
        response.status = route.status;
        // Files carry a validator, so that a client can resume them with If-Range.
        const std::string etag = QStringLiteral("\"%1\"").arg(qHash(route.body)).toStdString();
        response.set_header("ETag", etag);
        response.set_header("Accept-Ranges", "bytes");
        for (const auto &[name, value] : route.headers)
            response.set_header(name.toStdString(), value.toStdString());
        if (route.status == 200 && request.get_header_value("If-None-Match") == etag) {
            response.status = 304; // the client's copy is current
            return;
        }
        bool drop = false;
        {
            std::lock_guard lock(mutex);
            if (route.dropAfterBytes >= 0 && !dropped[request.path]) {
                dropped[request.path] = true;
                drop = true;
            }
        }
        if (drop) {
            // A connection that dies part-way: the whole length announced, fewer bytes sent.
            auto body = std::make_shared<QByteArray>(route.body);
            const size_t cut = size_t(route.dropAfterBytes);
            response.set_content_provider(size_t(body->size()), route.contentType.toStdString(),
                                          [body, cut](size_t offset, size_t, httplib::DataSink &sink) {
                                              if (offset >= cut)
                                                  return false; // closes the connection
                                              return sink.write(body->constData() + offset,
                                                                std::min(cut, size_t(body->size())) - offset);
                                          });
            return;
        }
        if (request.has_header("Range") && route.ignoreRanges) {
            // The whole file, sent so that httplib cannot cut it to the range (no length).
            auto body = std::make_shared<QByteArray>(route.body);
            response.set_chunked_content_provider(
                route.contentType.toStdString(), [body](size_t offset, httplib::DataSink &sink) {
                    if (offset >= size_t(body->size())) {
                        sink.done();
                        return true;
                    }
                    return sink.write(body->constData() + offset, size_t(body->size()) - offset);
                });
            return;
        }
        if (request.has_header("Range") && route.status == 200 && request.get_header_value("If-Range") == etag) {
            // Served from the asked offset: "bytes=N-".
            const std::string range = request.get_header_value("Range");
            const long long from = std::atoll(range.substr(range.find('=') + 1).c_str());
            if (from >= 0 && from < route.body.size()) {
                // The whole body with 206: httplib cuts it to the asked range itself, from the
                // content or (a slow route, paced as before) from the provider below.
                response.status = 206;
                if (route.delayPerChunkMs == 0 || !route.paceRanges) {
                    response.set_content(route.body.constData(), size_t(route.body.size()),
                                         route.contentType.toStdString());
                    return;
                }
            }
        }
        if (!route.redirectTo.isEmpty()) {
            response.set_header("Location", route.redirectTo.toStdString());
            return;
        }
        const std::string contentType = route.contentType.toStdString();
        if (!route.withoutLength && route.delayPerChunkMs == 0) {
            response.set_content(route.body.constData(), size_t(route.body.size()), contentType.c_str());
            return;
        }
        auto body = std::make_shared<QByteArray>(route.body);
        const size_t chunk = size_t(route.chunkBytes);
        const int delay = route.delayPerChunkMs;
        auto provide = [body, chunk, delay](size_t offset, httplib::DataSink &sink) {
            if (delay > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            const size_t total = size_t(body->size());
            if (offset >= total) {
                sink.done();
                return true;
            }
            const size_t n = std::min(chunk, total - offset);
            return sink.write(body->constData() + offset, n);
        };
        if (route.withoutLength) {
            response.set_chunked_content_provider(
                contentType, [provide](size_t offset, httplib::DataSink &sink) { return provide(offset, sink); });
        } else {
            response.set_content_provider(size_t(body->size()), contentType,
                                          [provide, body](size_t offset, size_t, httplib::DataSink &sink) {
                                              if (offset >= size_t(body->size()))
                                                  return true;
                                              return provide(offset, sink);
                                          });
        }
    }
};

namespace {

std::unique_ptr<httplib::Server> tlsServer(const QByteArray &certificatePem, const QByteArray &keyPem)
{
    BIO *certBio = BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size()));
    BIO *keyBio = BIO_new_mem_buf(keyPem.constData(), int(keyPem.size()));
    X509 *certificate = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY *key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(certBio);
    BIO_free(keyBio);
    if (!certificate || !key)
        throw std::runtime_error("FeedServer: unreadable certificate or key");
    auto server = std::make_unique<httplib::SSLServer>(certificate, key);
    X509_free(certificate); // the server's context holds its own references
    EVP_PKEY_free(key);
    return server;
}

} // namespace

FeedServer::FeedServer(const QByteArray &certificatePem, const QByteArray &keyPem)
    : m_state(std::make_unique<State>())
{
    m_state->tls = !certificatePem.isEmpty() && !keyPem.isEmpty();
    m_state->server = m_state->tls ? tlsServer(certificatePem, keyPem) : std::make_unique<httplib::Server>();
    m_state->server->Get(".*", [this](const httplib::Request &request, httplib::Response &response) {
        m_state->answer(request, response);
    });
    // One request per connection: an idle kept-alive connection would hold up stop().
    m_state->server->set_keep_alive_max_count(1);
    m_state->port = m_state->server->bind_to_any_port("127.0.0.1");
    m_state->thread = std::thread([this] { m_state->server->listen_after_bind(); });
    // stop() before the loop has started would be lost, and the destructor would wait forever.
    while (!m_state->server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FeedServer::~FeedServer()
{
    m_state->server->stop();
    m_state->thread.join();
}

void FeedServer::route(const QString &path, Route route)
{
    std::lock_guard lock(m_state->mutex);
    m_state->routes[path.toStdString()] = std::move(route);
}

void FeedServer::json(const QString &path, const QByteArray &body, int status)
{
    Route r;
    r.status = status;
    r.body = body;
    r.contentType = "application/json";
    route(path, r);
}

void FeedServer::file(const QString &path, const QByteArray &body)
{
    Route r;
    r.body = body;
    route(path, r);
}

void FeedServer::dynamic(const QString &path, std::function<Route()> answer)
{
    std::lock_guard lock(m_state->mutex);
    m_state->dynamicRoutes[path.toStdString()] = std::move(answer);
}

std::optional<FeedServer::Route> FeedServer::routeOf(const QString &path) const
{
    std::lock_guard lock(m_state->mutex);
    const auto it = m_state->routes.find(path.toStdString());
    return it == m_state->routes.end() ? std::nullopt : std::optional<Route>(it->second);
}

int FeedServer::hits(const QString &path) const
{
    std::lock_guard lock(m_state->mutex);
    const auto it = m_state->hits.find(path.toStdString());
    return it == m_state->hits.end() ? 0 : it->second;
}

void FeedServer::resetHits()
{
    std::lock_guard lock(m_state->mutex);
    m_state->hits.clear();
    m_state->rangeRequests.clear();
    m_state->dropped.clear();
}

QByteArray FeedServer::lastHeader(const QString &path, const QByteArray &name) const
{
    std::lock_guard lock(m_state->mutex);
    const auto it = m_state->headers.find(path.toStdString());
    if (it == m_state->headers.end())
        return {};
    const auto header = it->second.find(name.toStdString());
    return header == it->second.end() ? QByteArray() : QByteArray::fromStdString(header->second);
}

QStringList FeedServer::rangeRequests(const QString &path) const
{
    std::lock_guard lock(m_state->mutex);
    QStringList ranges;
    for (const std::string &range : m_state->rangeRequests[path.toStdString()])
        ranges.append(QString::fromStdString(range));
    return ranges;
}

int FeedServer::port() const
{
    return m_state->port;
}

QUrl FeedServer::url(const QString &path) const
{
    const QString scheme = m_state->tls ? QStringLiteral("https") : QStringLiteral("http");
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_state->port).arg(path));
}
