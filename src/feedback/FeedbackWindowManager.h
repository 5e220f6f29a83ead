#pragma once
#include "feedback/FeedbackSheet.h"
#include "store/ModelContainerHolder.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;
class Workspace;

// Opens the feedback window (540 × 540, titled "Feedback", floating) with a fresh feedback form,
// or brings the open one forward. The window is kept when its close button hides it; the next
// opening then makes a new window with an empty form.
class FeedbackWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    struct Needs {
        // The forms send through this service.
        FeedbackService& service;
        // Brings the window forward with the desktop's current time; may be null.
        Workspace* workspace = nullptr;
        // The history panel's picture, which a form attaches first; unset where there is no panel.
        FeedbackSheet::PanelPictureProvider historyPanelPicture;
    };

    explicit FeedbackWindowManager(Needs needs)
        : ModelContainerHolder("FeedbackWindowManager")
        , m_needs(std::move(needs))
    {
    }
    ~FeedbackWindowManager() override;

    // herkunft names where the form was opened from ("Quorvel – Menüleiste"); an open form
    // keeps the origin it was opened with.
    void showFeedback(const QString& herkunft);

    // The current feedback window (visible or hidden); null when there is none.
    QWidget* feedbackWindow() const { return m_feedbackWindow; }

private:
    Needs m_needs;
    QPointer<QWidget> m_feedbackWindow;
};
