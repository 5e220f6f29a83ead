#pragma once
#include "platform/HttpClient.h"

#include <QObject>

class QNetworkAccessManager;

// HTTP over Qt Network. Each exchange has one overall deadline, reads at most the allowed number
// of answer bytes, and follows 307/308 redirects itself so that a POST keeps its body and never
// moves from https to http. Lives on the main thread.
class QtHttpClient : public QObject, public HttpClient {
    Q_OBJECT
public:
    QtHttpClient();
    ~QtHttpClient() override;

    void send(const HttpRequest& request, Completion completion) override;

private:
    class Exchange;
    QNetworkAccessManager* m_network;
};
