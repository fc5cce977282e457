// MSComDlg.CommonDialog over Qt's file dialog: the Open and Save dialogs with a Filter, and the
// chosen FileName afterwards. A cancel raises no error and leaves FileName empty, which callers
// take as nothing chosen. No extension is added, and an existing file is not asked about.
#pragma once

#include <QObject>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "skin/property_bag.h"

namespace quillon::forms {

class CommonDialog final : public QObject, public skin::Persisted {
    Q_OBJECT
    // Pairs of description and pattern separated by "|": "Wave Files(*.wav)|*.wav".
    Q_PROPERTY(QString Filter READ Filter WRITE set_Filter)
    Q_PROPERTY(QString FileName READ FileName WRITE set_FileName)
  public:
    static constexpr const char* class_identifier = "MSComDlg.CommonDialog";

    enum class Mode { open, save };
    // What the user chose (a full path), or "" for a cancel. Tests put their own in place.
    using Chooser =
        std::function<QString(Mode mode, const QStringList& name_filters, const QString& previous)>;

    // `parent` is the window the dialogs belong to.
    explicit CommonDialog(QWidget* parent = nullptr, const QString& instance_name = {});

    QString Filter() const { return m_filter; }
    void set_Filter(const QString& filter) { m_filter = filter; }
    QString FileName() const { return m_file_name; }
    void set_FileName(const QString& name) { m_file_name = name; }

    // Show the dialog and return when the user has chosen or cancelled.
    void ShowOpen() { show(Mode::open); }
    void ShowSave() { show(Mode::save); }

    // The filter in Qt's form: "Wave Files(*.wav) (*.wav)".
    QStringList name_filters() const;
    void set_chooser(Chooser chooser) { m_chooser = std::move(chooser); }

    void read_properties(skin::PropertyBag& bag) override;
    void write_properties(skin::PropertyBag& bag) const override;

  private:
    void show(Mode mode);
    QString run_file_dialog(Mode mode, const QStringList& name_filters, const QString& previous);

    QString m_filter;
    QString m_file_name;
    Chooser m_chooser;
};

}  // namespace quillon::forms
