#pragma once
#include <QWidget>
#include <memory>

class ModelContainer;
class ScreenshotsGridView;

// The gallery window's content: the grid on the translucent HUD surface, at least 560 × 420.
class ScreenshotsView : public QWidget {
    Q_OBJECT
public:
    explicit ScreenshotsView(std::weak_ptr<ModelContainer> container, QWidget* parent = nullptr);
    ScreenshotsGridView* grid() const { return m_grid; }

private:
    ScreenshotsGridView* m_grid;
};
