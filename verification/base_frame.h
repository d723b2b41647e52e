// The wizard's pages: every page is a TBaseFrame with its picture, its title, its page kind and
// its skip flag for periodic verification. A page registers itself with the main form when it is
// built, so the page order is the creation order.
#pragma once

#include <QGroupBox>
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QRadioButton;
class QVBoxLayout;

// Page kinds. No page has kind 7.
constexpr std::uint8_t KindSelectType = 1;
constexpr std::uint8_t KindClimat = 2;
constexpr std::uint8_t KindMagnify = 3;
constexpr std::uint8_t KindImpedance = 4;
constexpr std::uint8_t KindIsolation = 5; // skipped in periodic verification
constexpr std::uint8_t KindConnect = 6;
constexpr std::uint8_t KindSignal = 8;
constexpr std::uint8_t KindUpDn = 9;
constexpr std::uint8_t KindTools = 10;
constexpr std::uint8_t KindFinish = 11;

// A group of radio buttons with one chosen item, stacked top to bottom inside a captioned box.
// OnClick follows the operator's clicks only; SetItemIndex from code does not raise it.
class TRadioGroup : public QGroupBox {
public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void ClearItems();
    void AddItem(const std::string& text); // UTF-8
    int Count() const { return static_cast<int>(buttons_.size()); }
    QRadioButton* Button(int index) const;

    // -1 while no item is chosen.
    int ItemIndex() const;
    // An index outside the items chooses none.
    void SetItemIndex(int index);

    std::function<void()> OnClick;

private:
    QVBoxLayout* layout_ = nullptr;
    std::vector<QRadioButton*> buttons_;
};

class TBaseFrame : public QWidget {
public:
    // The size the pages are laid out for while the page panel has none of its own yet.
    static constexpr int DesignWidth = 632;
    static constexpr int DesignHeight = 403;

    // Builds the page hidden, registers it with MainForm (when there is one: AddFrame parents it
    // to the page panel), makes it fill its parent and places the picture and the title. Without
    // a main form the page stays a child of owner.
    TBaseFrame(QWidget* owner, std::uint8_t kind);
    ~TBaseFrame() override;

    QLabel* Image = nullptr;        // the page's picture, top left, sized to the picture
    QLabel* CaptionLabel = nullptr; // the page's title, 4 points larger than the page font, bold

    // Makes the page visible; overrides call this first and then focus their main control.
    virtual void ShowFrame();

    std::uint8_t GetKind() const { return FKind; }
    bool GetSkipPeriodic() const { return FSkipPeriodic; }

    // The picture of a page kind: 169 x 177 for the first page, 132 x 133 for the others; the
    // two insulation pages share one, and so do the signal and the dips and swells pages.
    static QPixmap PagePicture(std::uint8_t kind);

protected:
    // Sets a label's text (UTF-8, lines separated by LF) and sizes the label to it.
    static void SetLabelText(QLabel* label, const std::string& text);
    // A new label on this page at the given place, sized to its text.
    QLabel* NewLabel(const std::string& text, int left, int top);
    // Sets an instruction's text (lines separated by LF) and lets its lines wrap before the
    // page's x coordinate right, so that a long line stays whole on a narrow page or font
    // instead of running under a button or off the page. The label's height follows.
    static void SetWrappedText(QLabel* label, const std::string& text, int right);
    // Stacks instruction labels from their design tops down: a label that wrapped pushes the
    // ones below it further down. Each button stays level with its label's last line.
    static void StackInstructions(const std::vector<QLabel*>& labels,
                                  const std::vector<QWidget*>& buttonsBeside);

    // Follows the parent's size, as a frame aligned to its parent's client area does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillParent();
    void PlaceImageAndCaption();

    std::uint8_t FKind = 0;
    bool FSkipPeriodic = false;
};
