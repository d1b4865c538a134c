#include "ui/VideoPicture.h"

#include "receive/ColourEncoding.h"
#include "receive/RgbConverter.h"
#include "ui/SessionPresenter.h"

#include <QMatrix4x4>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGGeometryNode>
#include <QSGMaterial>
#include <QSGMaterialShader>
#include <QSGTexture>
#include <QtQuick/qsgtexture_platform.h>
#include <array>
#include <cstring>
#include <memory>

namespace vistrel {

namespace {

class PictureMaterial : public QSGMaterial {
public:
    QSGMaterialType* type() const override {
        static QSGMaterialType kind;
        return &kind;
    }
    QSGMaterialShader* createShader(QSGRendererInterface::RenderMode) const override;
    int compare(const QSGMaterial* other) const override {
        return this == other ? 0 : (this < other ? -1 : 1);
    }

    std::array<QSGTexture*, 3> planes{};
    QMatrix4x4 rgbFromSamples;
    QVector2D chromaScale;
    bool twoPlanes = false;
};

class PictureShader : public QSGMaterialShader {
public:
    PictureShader() {
        setShaderFileName(VertexStage, QStringLiteral(":/vistrel/shaders/picture.vert.qsb"));
        setShaderFileName(FragmentStage, QStringLiteral(":/vistrel/shaders/picture.frag.qsb"));
    }
    bool updateUniformData(RenderState& state, QSGMaterial* next, QSGMaterial*) override {
        const auto& material = *static_cast<PictureMaterial*>(next);
        char* data = state.uniformData()->data();
        const auto put = [&](std::size_t offset, const float* values, std::size_t count) {
            std::memcpy(data + offset, values, count * sizeof(float));
        };
        put(0, state.combinedMatrix().constData(), 16);
        put(64, material.rgbFromSamples.constData(), 16);
        const std::array<float, 4> rest{material.chromaScale.x(), material.chromaScale.y(),
                                        state.opacity(), material.twoPlanes ? 1.0F : 0.0F};
        put(128, rest.data(), rest.size());
        return true;
    }
    void updateSampledImage(RenderState&, int binding, QSGTexture** texture, QSGMaterial* next,
                            QSGMaterial*) override {
        const auto& material = *static_cast<PictureMaterial*>(next);
        // NV12 has no third plane; its sampler gets the second one.
        *texture = material.planes.at(static_cast<std::size_t>(binding - 1))
                       ? material.planes.at(static_cast<std::size_t>(binding - 1))
                       : material.planes[1];
    }
};

QSGMaterialShader* PictureMaterial::createShader(QSGRendererInterface::RenderMode) const {
    return new PictureShader;
}

// One picture's planes in OpenGL textures, kept while the size and layout
// stay and refilled for every picture. Lives on the render thread.
class PictureNode : public QSGGeometryNode {
public:
    PictureNode() : geometry_(QSGGeometry::defaultAttributes_TexturedPoint2D(), 4) {
        setGeometry(&geometry_);
        setMaterial(&material_);
    }
    ~PictureNode() override { release(); }
    PictureNode(const PictureNode&) = delete;
    PictureNode& operator=(const PictureNode&) = delete;

    void place(const QRectF& rect) {
        QSGGeometry::updateTexturedRectGeometry(&geometry_, rect, QRectF(0, 0, 1, 1));
        markDirty(DirtyGeometry);
    }

    // False when the planes could not be put into textures.
    bool upload(const AVFrame& frame, QQuickWindow& window) {
        QOpenGLContext* context = QOpenGLContext::currentContext();
        if (window.rendererInterface()->graphicsApi() != QSGRendererInterface::OpenGL ||
            context == nullptr || frame.linesize[0] <= 0 || frame.linesize[1] <= 0) {
            return false;
        }
        QOpenGLFunctions& gl = *context->functions();
        const bool twoPlanes = frame.format == AV_PIX_FMT_NV12;
        const QSize luma(frame.width, frame.height);
        const QSize chroma((frame.width + 1) / 2, (frame.height + 1) / 2);
        if (luma != luma_ || twoPlanes != material_.twoPlanes || ids_[0] == 0) {
            release();
            luma_ = luma;
            material_.twoPlanes = twoPlanes;
            for (std::size_t plane = 0; plane < (twoPlanes ? 2U : 3U); ++plane) {
                if (!create(gl, window, plane, plane == 0 ? luma : chroma,
                            twoPlanes && plane == 1)) {
                    release();
                    return false;
                }
            }
        }
        while (gl.glGetError() != GL_NO_ERROR) { // earlier errors are not ours
        }
        gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (std::size_t plane = 0; plane < 3 && ids_.at(plane) != 0; ++plane) {
            const bool pairs = twoPlanes && plane == 1;
            const QSize size = plane == 0 ? luma : chroma;
            // The decoder's rows as they are: strides longer than a row are skipped by GL.
            gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, frame.linesize[plane] / (pairs ? 2 : 1));
            gl.glBindTexture(GL_TEXTURE_2D, ids_.at(plane));
            gl.glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size.width(), size.height(),
                               pairs ? GL_RG : GL_RED, GL_UNSIGNED_BYTE, frame.data[plane]);
        }
        gl.glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl.glBindTexture(GL_TEXTURE_2D, 0);
        const RgbFromSamples rule = rgbFromSamples(colourEncodingOf(frame));
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 4; ++column) {
                material_.rgbFromSamples(row, column) = static_cast<float>(
                    rule.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column)));
            }
        }
        material_.chromaScale =
            QVector2D(static_cast<float>(luma.width()) / static_cast<float>(2 * chroma.width()),
                      static_cast<float>(luma.height()) / static_cast<float>(2 * chroma.height()));
        markDirty(DirtyMaterial);
        return gl.glGetError() == GL_NO_ERROR;
    }

private:
    bool create(QOpenGLFunctions& gl, QQuickWindow& window, std::size_t plane, QSize size,
                bool pairs) {
        GLuint id = 0;
        gl.glGenTextures(1, &id);
        if (id == 0) {
            return false;
        }
        ids_.at(plane) = id;
        gl.glBindTexture(GL_TEXTURE_2D, id);
        gl.glTexImage2D(GL_TEXTURE_2D, 0, pairs ? GL_RG8 : GL_R8, size.width(), size.height(), 0,
                        pairs ? GL_RG : GL_RED, GL_UNSIGNED_BYTE, nullptr);
        gl.glBindTexture(GL_TEXTURE_2D, 0);
        textures_.at(plane).reset(
            QNativeInterface::QSGOpenGLTexture::fromNative(id, &window, size));
        if (!textures_.at(plane)) {
            return false;
        }
        textures_.at(plane)->setFiltering(QSGTexture::Linear);
        textures_.at(plane)->setHorizontalWrapMode(QSGTexture::ClampToEdge);
        textures_.at(plane)->setVerticalWrapMode(QSGTexture::ClampToEdge);
        material_.planes.at(plane) = textures_.at(plane).get();
        return true;
    }

    void release() {
        for (auto& texture : textures_) {
            texture.reset();
        }
        material_.planes = {};
        QOpenGLContext* context = QOpenGLContext::currentContext();
        for (GLuint& id : ids_) {
            if (id != 0 && context != nullptr) {
                context->functions()->glDeleteTextures(1, &id);
            }
            id = 0;
        }
    }

    QSGGeometry geometry_;
    PictureMaterial material_;
    std::array<GLuint, 3> ids_{};
    std::array<std::unique_ptr<QSGTexture>, 3> textures_;
    QSize luma_;
};

} // namespace

VideoPicture::VideoPicture(QQuickItem* parent) : QQuickItem(parent) {
    setFlag(ItemHasContents);
}

void VideoPicture::setPresenter(SessionPresenter* presenter) {
    if (presenter_ == presenter) {
        return;
    }
    if (display_) {
        disconnect(display_, nullptr, this, nullptr);
    }
    presenter_ = presenter;
    display_ = presenter != nullptr ? presenter->display() : nullptr;
    if (display_) {
        connect(display_, &VideoDisplay::currentChanged, this, &VideoPicture::pull);
    }
    pull();
    emit presenterChanged();
}

void VideoPicture::pull() {
    picture_ = display_ ? display_->current() : PixelBuffer();
    uploaded_ = false;
    fit();
    update();
}

void VideoPicture::geometryChange(const QRectF& next, const QRectF& previous) {
    QQuickItem::geometryChange(next, previous);
    fit();
    update();
}

void VideoPicture::fit() {
    QRectF rect;
    if (!picture_.empty() && width() > 0 && height() > 0) {
        const QSizeF fitted =
            QSizeF(picture_.width(), picture_.height()).scaled(size(), Qt::KeepAspectRatio);
        rect = QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                      fitted);
    }
    if (rect != contentRect_) {
        contentRect_ = rect;
        emit contentRectChanged();
    }
}

QSGNode* VideoPicture::updatePaintNode(QSGNode* old, UpdatePaintNodeData*) {
    if (old == nullptr && picture_.empty()) {
        return nullptr; // no textures to draw with yet
    }
    auto* node = old != nullptr ? static_cast<PictureNode*>(old) : new PictureNode;
    if (!uploaded_ && !picture_.empty() && !node->upload(*picture_.frame(), *window())) {
        picture_ = {};
        if (display_) { // the session is told on its own thread
            QMetaObject::invokeMethod(display_.data(), &VideoDisplay::reportFailure,
                                      Qt::QueuedConnection);
        }
    }
    uploaded_ = true;
    node->place(picture_.empty() ? QRectF() : contentRect_);
    return node;
}

} // namespace vistrel
