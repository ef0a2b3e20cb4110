#pragma once

#include <QRectF>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kivo {

class FloatingPanel;

// The persisted copy of the panel's settings: one map in the user's settings store, written
// whole from the panel's state at every change and applied to it once at launch. Rectangles in
// the record use the bottom-left origin, converted with the primary screen's height.
class PanelPreferences {
public:
    static constexpr const char* preferencesKey = "floatingPanel.preferences.v1";

    // Without a store: the application's own settings file under the XDG config dir.
    explicit PanelPreferences(std::unique_ptr<QSettings> store = nullptr);
    ~PanelPreferences();

    // False until the first restore has finished; saving does nothing until then.
    bool preferencesReady() const { return preferencesReady_; }
    QVariantMap record() const;

    // Sets the controls from the record; `localize` re-texts the panel before the editor
    // expansion and the window placement are applied.
    void restore(FloatingPanel& panel, const std::function<void()>& localize);
    void save(const FloatingPanel& panel);
    // The user moved the panel: from now on its current frame is the one saved.
    void windowMoved(const FloatingPanel& panel);

    // "{{x, y}, {w, h}}" and its lenient reading (the first four numbers).
    static QString frameText(const QRectF& frame);
    static std::optional<QRectF> frameFromText(const QString& text);
    // Where a window of `size` goes for the saved frame: its top-left corner at the saved
    // one, clamped into the first intersecting visible frame; none when no screen intersects.
    // Everything in bottom-left coordinates; the result is the new bottom-left origin.
    static std::optional<QPointF> placement(const QRectF& saved, const QSizeF& size,
                                            const std::vector<QRectF>& visibleFrames);

private:
    void placeWindow(FloatingPanel& panel, const QVariant& savedFrame);

    std::unique_ptr<QSettings> store_;
    bool preferencesReady_ = false;
    // The frame text read at launch, written back unchanged until the user moves the window.
    QString savedFrame_;
};

} // namespace kivo
