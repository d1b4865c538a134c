// The window's video item: the session's current picture, fitted with its
// aspect into the item and scaled smoothly. The decoded planes go as they are
// into textures of their own and a shader of ours turns them into RGB by the
// colour rule (rgbFromSamples), so the screen shows what the files show.
// Needs Qt Quick on OpenGL (Linux's default); elsewhere, or when the textures
// cannot be made, it reports the picture as one the display cannot show.
#pragma once

#include "receive/PixelBuffer.h"
#include "ui/SessionPresenter.h"

#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace vistrel {

class VideoPicture : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(vistrel::SessionPresenter* presenter READ presenter WRITE setPresenter NOTIFY
                   presenterChanged)
    // Where the picture is drawn, in the item's coordinates; empty while there is none.
    Q_PROPERTY(QRectF contentRect READ contentRect NOTIFY contentRectChanged)

public:
    explicit VideoPicture(QQuickItem* parent = nullptr);

    [[nodiscard]] SessionPresenter* presenter() const { return presenter_; }
    void setPresenter(SessionPresenter* presenter);
    [[nodiscard]] QRectF contentRect() const { return contentRect_; }

signals:
    void presenterChanged();
    void contentRectChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* old, UpdatePaintNodeData* data) override;
    void geometryChange(const QRectF& next, const QRectF& previous) override;

private:
    void pull();
    void fit();

    QPointer<SessionPresenter> presenter_;
    QPointer<VideoDisplay> display_;
    // Read by the render thread in updatePaintNode, while the GUI thread waits.
    PixelBuffer picture_;
    bool uploaded_ = true;
    QRectF contentRect_;
};

} // namespace vistrel
