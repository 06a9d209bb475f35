#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "core/keyer/KeyerEngine.h"
#include "core/remote/CoPelkoran.h"

namespace pelkora {

// What every automation object on the bus answers, the main object and the
// ones clients create alike: the window calls of the interface, each acting
// on the one running keyer, with the same limit on text and the same guard
// against a fault inside.
// Threading: GUI thread only; calls arrive through the GUI thread's loop.
class AutomationEndpoint : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(int Top READ Top WRITE setTop)
    Q_PROPERTY(int Left READ Left WRITE setLeft)
    Q_PROPERTY(int Width READ Width WRITE setWidth)
    Q_PROPERTY(int Height READ Height WRITE setHeight)
  public:
    // A macro is a line of commands and a call sign a few letters: longer
    // text is a client's fault, refused before the keyer expands it.
    static constexpr qsizetype kMaxTextLength = 64 * 1024;

    // An exception out of a call: the keyer is released (set it to the
    // program's fault report, which does that and tells the operator; unset,
    // the engine's own release runs) and the caller gets an error.
    std::function<void(const std::string& what)> onFault;

    // What a fault in a call does, for a caller outside the bus as well.
    void releaseAfterFault(const std::string& what);

  public slots:
    void Show();
    void Hide();
    void PlayMacros(const QString& Macro, const QString& eCall, const QString& eRS);
    void StopPlay();
    void StartPlay();
    void SetStartDir(const QString& StartDir);

  protected:
    explicit AutomationEndpoint(QObject* parent = nullptr);
    // The keyer the calls act on; calls before it is set do nothing.
    void attach(CoPelkoran* automation, KeyerEngine* engine);
    void guarded(const std::function<void()>& action);
    bool refuseLongText(const QString& text, const char* argument);

  private:
    int Top() const;
    int Left() const;
    int Width() const;
    int Height() const;
    void setTop(int value);
    void setLeft(int value);
    void setWidth(int value);
    void setHeight(int value);

    CoPelkoran* automation_ = nullptr;
    KeyerEngine* engine_ = nullptr;
};

}  // namespace pelkora
