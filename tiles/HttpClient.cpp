#include "tiles/HttpClient.h"

#include <cerrno>
#include <mutex>
#include <new>
#include <stdexcept>

#include <curl/curl.h>

namespace {

struct Transfer {
    std::vector<unsigned char>* body;
    size_t limit;
    bool too_large = false;
};

size_t write_body(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body->size() + bytes > transfer->limit) {
        // Returning less than given makes libcurl abort the transfer with CURLE_WRITE_ERROR.
        transfer->too_large = true;
        return 0;
    }
    try {
        transfer->body->insert(transfer->body->end(), data, data + bytes);
    } catch (...) {
        // No exception may cross libcurl's C frames; a body we cannot hold counts as too large.
        transfer->too_large = true;
        return 0;
    }
    return bytes;
}

// Why no answer came, as the tile error lines say it.
std::string failure_reason(CURLcode result, long os_errno)
{
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
        return "time-out";
    case CURLE_COULDNT_CONNECT:
        return os_errno == ECONNREFUSED ? "connection refused" : "could not connect";
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return "unknown host";
    case CURLE_GOT_NOTHING:
        return "no answer";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return "connection lost";
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
        return "unusable URL";
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
        return "TLS failure";
    default:
        return curl_easy_strerror(result);
    }
}

} // namespace

void HttpClient::global_init()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw std::runtime_error("curl_global_init failed");
        }
    });
}

HttpClient::HttpClient(HttpOptions options) : m_options(options)
{
    global_init();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        throw std::bad_alloc();
    }
    curl_slist* headers = curl_slist_append(nullptr, "User-Agent: Windhollow/0.0");
    if (headers == nullptr) {
        curl_easy_cleanup(curl);
        throw std::bad_alloc();
    }
    CURLM* multi = curl_multi_init();
    if (multi == nullptr) {
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        throw std::bad_alloc();
    }
    m_curl = curl;
    m_multi = multi;
    m_headers = headers;

    // Options that stay the same for every request of this handle.
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, m_options.timeout_ms);
    // Worker threads must not get SIGALRM from the resolver's time-out.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, m_options.max_redirects);
    // A tile URL, or a redirect from one, must not reach file://, ftp:// or anything else.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Refuses early when the server announces the size; the write callback covers chunked bodies.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_options.max_body_bytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write_body);
    if (!m_options.reuse_connections) {
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    }
}

HttpClient::~HttpClient()
{
    // The easy handle's connections live in the multi handle's cache: the easy one goes first.
    curl_easy_cleanup(static_cast<CURL*>(m_curl));
    curl_multi_cleanup(static_cast<CURLM*>(m_multi));
    curl_slist_free_all(static_cast<curl_slist*>(m_headers));
}

void HttpClient::cancel()
{
    m_cancelled = true;
    // Thread-safe in libcurl: wakes a curl_multi_poll under way in get().
    curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

namespace {

// One transfer driven through the multi handle (the same work curl_easy_perform does), with
// a wait that cancel() can cut short. CURLE_ABORTED_BY_CALLBACK stands for a cancelled one.
CURLcode perform(CURL* curl, CURLM* multi, const std::atomic<bool>& cancelled)
{
    if (cancelled) {
        return CURLE_ABORTED_BY_CALLBACK;
    }
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_OK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            result = CURLE_GOT_NOTHING;
            while (const CURLMsg* message = curl_multi_info_read(multi, &left)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
                    result = message->data.result;
                }
            }
            break;
        }
        if (cancelled) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        // libcurl's own time-outs end the transfer through curl_multi_perform; the poll only
        // waits for the sockets (at most a second, as curl_easy_perform waits).
        if (curl_multi_poll(multi, nullptr, 0, 1000, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    curl_multi_remove_handle(multi, curl);
    return result;
}

} // namespace

HttpResponse HttpClient::get(const std::string& url)
{
    CURL* curl = static_cast<CURL*>(m_curl);
    HttpResponse response;
    Transfer transfer{&response.body, m_options.max_body_bytes};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);

    const CURLcode result = perform(curl, static_cast<CURLM*>(m_multi), m_cancelled);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &response.new_connections);
    curl_off_t retry_after = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &retry_after) == CURLE_OK && retry_after > 0) {
        response.retry_after_seconds = static_cast<long>(retry_after);
    }
    long os_errno = 0;
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &os_errno);
    // The handle keeps a pointer to the transfer state; clear it before the state goes.
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);

    if (transfer.too_large || result == CURLE_FILESIZE_EXCEEDED) {
        response.status = status;
        response.too_large = true;
        response.body.clear();
        response.body.shrink_to_fit();
        response.error = curl_easy_strerror(result);
        return response;
    }
    if (result == CURLE_TOO_MANY_REDIRECTS) {
        // An answer came, just another redirect: report its status.
        response.status = status;
        response.body.clear();
        response.error = curl_easy_strerror(result);
        return response;
    }
    if (result == CURLE_ABORTED_BY_CALLBACK && m_cancelled) {
        response.status = 0;
        response.body.clear();
        response.reason = "cancelled";
        response.cancelled = true;
        return response;
    }
    if (result != CURLE_OK) {
        // No complete answer: a failed connection, a time-out, a cut transfer.
        response.status = 0;
        response.body.clear();
        response.error = curl_easy_strerror(result);
        response.reason = failure_reason(result, os_errno);
        response.permanent = result == CURLE_URL_MALFORMAT || result == CURLE_UNSUPPORTED_PROTOCOL;
        return response;
    }
    response.status = status;
    return response;
}
