// A page of the options dialog made of rows, one per setting. Each row knows how to show
// its setting, whether the control holds a value it can store and how to store it; pages with
// a Default button also know what a new installation has. The dialog loads every row when it
// opens and stores them on OK, after each row has accepted its value.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

class QFormLayout;

namespace bw {

class TSettingsPage : public QWidget {
    Q_OBJECT
public:
    struct TRow {
        QWidget* Control = nullptr;
        std::function<void()> Load;
        // Empty when the control holds a value Store can keep; else why not. May be empty.
        std::function<QString()> Check;
        std::function<void()> Store;
    };

    explicit TSettingsPage(QWidget* parent = nullptr);

    // Puts the settings into the rows' controls.
    void Load();
    // Empty when every row can be stored; else the first complaint, and ProblemControl()
    // is the row's control.
    QString Check();
    QWidget* ProblemControl() const { return FProblemControl; }
    // Writes every row back into the settings; call only after Check found nothing.
    void Store();
    // Shows the values of a new installation (those AddDefault gave); nothing is stored
    // until OK.
    void ShowDefaults();
    void AddDefault(std::function<void()> show) { FDefaults.push_back(std::move(show)); }

    // Adds a row at the bottom of the page; an empty label leaves the control the whole row
    // (a check box carries its own text). `buddy` is what the label focuses (the control
    // when null).
    void AddRow(const QString& label, TRow row, QWidget* buddy = nullptr);

protected:
    QFormLayout* Form() const { return FForm; }

private:
    QFormLayout* FForm{};
    std::vector<TRow> FRows;
    std::vector<std::function<void()>> FDefaults;
    QWidget* FProblemControl{};
};

// "host" or "host:port" with a port of 1..65535.
bool IsHostAndPort(const QString& text);

// Why a typed web server address cannot be used, or empty when it can: "https://host[:port]"
// (the scheme may be left out), or empty text for the default. `name` names the server in
// the message ("MusicBrainz").
QString WebServerProblem(const QString& name, const QString& text);

} // namespace bw
