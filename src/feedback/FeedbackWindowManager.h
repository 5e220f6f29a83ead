#pragma once
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>
#include <QString>

class FeedbackService;
class QWidget;

// Opens the feedback window (540 × 540, titled "Feedback", floating) with a fresh feedback form,
// or brings the open one forward. The window is kept when its close button hides it; the next
// opening then makes a new window with an empty form.
class FeedbackWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static FeedbackWindowManager& shared();
    // The forms send through service (the shared one when none is given).
    explicit FeedbackWindowManager(FeedbackService* service = nullptr)
        : ModelContainerHolder("FeedbackWindowManager")
        , m_service(service)
    {
    }
    ~FeedbackWindowManager() override;

    // herkunft names where the form was opened from ("Quorvel – Menüleiste"); an open form
    // keeps the origin it was opened with.
    void showFeedback(const QString& herkunft);

    // The current feedback window (visible or hidden); null when there is none.
    QWidget* feedbackWindow() const { return m_feedbackWindow; }

private:
    FeedbackService* m_service;
    QPointer<QWidget> m_feedbackWindow;
};
