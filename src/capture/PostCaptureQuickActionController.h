#pragma once
#include <QImage>

// The short offer after a capture to open the image in the annotation editor.
class PostCaptureQuickActionController {
public:
    static PostCaptureQuickActionController& shared();
    void offer(const QImage& image, quint32 displayID);
    int offersMade() const { return m_offers; }

private:
    int m_offers = 0;
};
