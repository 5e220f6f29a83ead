#pragma once
#include "platform/HttpClient.h"

#include <vector>

// Keeps every request with its completion; the test answers them when it wants.
class FakeHttpClient : public HttpClient {
public:
    struct Pending {
        HttpRequest request;
        Completion completion;
    };

    void send(const HttpRequest& request, Completion completion) override
    {
        pending.push_back({request, std::move(completion)});
    }

    // Answers request i with an HTTP status and body.
    void answer(size_t i, int statusCode, const QByteArray& body)
    {
        HttpResponse response;
        response.statusCode = statusCode;
        response.body = body;
        Completion completion = std::move(pending.at(i).completion);
        completion(response);
    }

    std::vector<Pending> pending;
};
