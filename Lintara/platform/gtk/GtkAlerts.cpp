// SPDX-License-Identifier: MIT
#include "GtkAlerts.hpp"
#include "GtkShell.hpp"
#include "Lintara/text.hpp"

#include <gtk/gtk.h>

#include <algorithm>

namespace lintara::gtk {

namespace {
    // The window title lets the user, and a window manager, tell our dialogs
    // apart; an alert without a message still needs one.
    std::string windowTitle(const Alert& alert)
    {
        return alert.messageText.empty() ? std::string("Lintara") : alert.messageText;
    }

    GtkWidget* messageLabel(const std::string& text)
    {
        GtkWidget* label = gtk_label_new(nullptr);
        gchar* markup = g_markup_printf_escaped("<b>%s</b>", text.c_str());
        gtk_label_set_markup(GTK_LABEL(label), markup);
        g_free(markup);
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(label), 50);
        return label;
    }

    // Pango wraps a paragraph that must break inside words in time that
    // grows with the square of its length: a label took a quarter of a second
    // for 1,000 characters and over a minute for 20,000, and a label lays out
    // all its text at once. A short text with short lines is a label as ever;
    // anything longer goes to a text view, which lays out the lines on screen
    // first and the rest in small idle steps, with a hard break every
    // paragraphLimit bytes.
    constexpr std::size_t labelTextLimit = 1024;
    constexpr std::size_t labelLineLimit = 256;
    constexpr std::size_t paragraphLimit = 1024;

    std::size_t longestLine(std::string_view text)
    {
        std::size_t longest = 0;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            longest = std::max(longest, end - start);
            start = end + 1;
        }
        return longest;
    }

    std::string withParagraphsBroken(std::string_view text)
    {
        std::string result;
        result.reserve(text.size() + text.size() / paragraphLimit);
        std::size_t run = 0;
        for (const char c : text) {
            const bool continuation = (static_cast<unsigned char>(c) & 0xC0U) == 0x80U;
            if (c == '\n') {
                run = 0;
            } else if (run >= paragraphLimit && !continuation) {
                result += '\n';
                run = 0;
            }
            run += c == '\n' ? 0 : 1;
            result += c;
        }
        return result;
    }

    // The tallest the informative text may stand before it scrolls: half the
    // work area, so the message and the buttons always fit beside it.
    int informativeMaxHeight()
    {
        GdkDisplay* display = gdk_display_get_default();
        GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
        if (monitor == nullptr) {
            monitor = gdk_display_get_monitor(display, 0);
        }
        GdkRectangle area { 0, 0, 1024, 768 };
        if (monitor != nullptr) {
            gdk_monitor_get_workarea(monitor, &area);
        }
        return std::min(area.height / 2, 600);
    }

    constexpr int informativeWidthChars = 50;

    GtkWidget* informativeLabel(const std::string& text)
    {
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_yalign(GTK_LABEL(label), 0);
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
        gtk_label_set_max_width_chars(GTK_LABEL(label), informativeWidthChars);
        gtk_label_set_selectable(GTK_LABEL(label), TRUE);
        GtkWidget* viewport = gtk_viewport_new(nullptr, nullptr);
        gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport), GTK_SHADOW_NONE);
        gtk_container_add(GTK_CONTAINER(viewport), label);
        return viewport;
    }

    GtkWidget* informativeTextView(const std::string& text, GtkScrolledWindow* scrolled, int height)
    {
        GtkWidget* view = gtk_text_view_new();
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), text.c_str(), -1);
        gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
        gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
        gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 4);
        gtk_text_view_set_right_margin(GTK_TEXT_VIEW(view), 4);
        // As wide as the label would be: the font's average character width.
        PangoFontMetrics* metrics = pango_context_get_metrics(gtk_widget_get_pango_context(view), nullptr, nullptr);
        const int charWidth = pango_font_metrics_get_approximate_char_width(metrics) / PANGO_SCALE;
        pango_font_metrics_unref(metrics);
        gtk_widget_set_size_request(view, charWidth * informativeWidthChars, -1);
        gtk_scrolled_window_set_min_content_height(scrolled, height);
        gtk_scrolled_window_set_shadow_type(scrolled, GTK_SHADOW_IN);
        return view;
    }

    // A tool's output may be megabytes, or one line of thousands of
    // characters: only its end is laid out, lines wrap even inside a word,
    // and a tall text scrolls inside a bounded area.
    GtkWidget* informativeArea(const Alert& alert)
    {
        const std::string& text = alert.informativeText;
        if (text.size() > displayedTextLimit) {
            // The dialog shows only the end; the log keeps it all.
            g_log("Lintara", G_LOG_LEVEL_MESSAGE, "%s:\n%s", alert.messageText.c_str(), text.c_str());
        }
        const std::string shown = displayedTail(text);
        GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
        gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scrolled), TRUE);
        gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
        const int height = informativeMaxHeight();
        gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scrolled), height);
        const bool plain = shown.size() <= labelTextLimit && longestLine(shown) <= labelLineLimit;
        gtk_container_add(GTK_CONTAINER(scrolled),
            plain ? informativeLabel(shown)
                  : informativeTextView(withParagraphsBroken(shown), GTK_SCROLLED_WINDOW(scrolled), height));
        return scrolled;
    }

    struct Outcome {
        GtkWidget* entry = nullptr;
        bool answered = false;
        int response = GTK_RESPONSE_NONE;
        std::string fieldText;
    };

    void onResponse(GtkDialog* /*dialog*/, int response, gpointer data)
    {
        auto* outcome = static_cast<Outcome*>(data);
        if (outcome->answered) {
            return;
        }
        outcome->answered = true;
        outcome->response = response;
        if (outcome->entry != nullptr) {
            outcome->fieldText = gtk_entry_get_text(GTK_ENTRY(outcome->entry));
        }
    }

    // A dialog destroyed from outside answers nothing; the loop must still end.
    void onDestroy(GtkWidget* /*dialog*/, gpointer data)
    {
        auto* outcome = static_cast<Outcome*>(data);
        outcome->entry = nullptr;
        outcome->answered = true;
    }
} // namespace

GtkAlerts::GtkAlerts(glib::ModalLoop& modalLoop, GtkShell& shell)
    : modalLoop_(modalLoop)
    , shell_(shell)
{
}

ModalResponse GtkAlerts::runModal(const Alert& alert)
{
    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), windowTitle(alert).c_str());
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ALWAYS);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_icon_name(GTK_WINDOW(dialog), shell_.iconName().c_str());

    GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 12);
    gtk_box_set_spacing(GTK_BOX(content), 8);
    gtk_box_pack_start(GTK_BOX(content), messageLabel(alert.messageText), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), informativeArea(alert), FALSE, FALSE, 0);

    GtkWidget* entry = nullptr;
    if (alert.accessoryView) {
        entry = gtk_entry_new();
        gtk_entry_set_text(GTK_ENTRY(entry), alert.accessoryView->stringValue.c_str());
        gtk_widget_set_size_request(entry, static_cast<int>(alert.accessoryView->frame.width),
            static_cast<int>(alert.accessoryView->frame.height));
        gtk_widget_set_halign(entry, GTK_ALIGN_START);
        // Return in the field presses the default button.
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        gtk_box_pack_start(GTK_BOX(content), entry, FALSE, FALSE, 0);
    }

    GtkWidget* defaultButton = nullptr;
    for (std::size_t index = 0; index < alert.buttons.size(); ++index) {
        GtkWidget* button = gtk_dialog_add_button(GTK_DIALOG(dialog), alert.buttons[index].c_str(),
            static_cast<int>(alertFirstButtonReturn + static_cast<long>(index)));
        if (index == 0) {
            defaultButton = button;
        }
    }
    if (defaultButton != nullptr) {
        gtk_widget_set_can_default(defaultButton, TRUE);
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), static_cast<int>(alertFirstButtonReturn));
    }

    Outcome outcome;
    outcome.entry = entry;
    // Held so that the widget outlives a destroy from outside the loop.
    g_object_ref(dialog);
    g_signal_connect(dialog, "response", G_CALLBACK(onResponse), &outcome);
    g_signal_connect(dialog, "destroy", G_CALLBACK(onDestroy), &outcome);
    gtk_widget_show_all(dialog);
    if (entry != nullptr && alert.initialFirstResponder == FirstResponder::accessoryView) {
        gtk_widget_grab_focus(entry);
    } else if (defaultButton != nullptr) {
        gtk_widget_grab_focus(defaultButton);
    }
    shell_.present(GTK_WINDOW(dialog));

    const bool closedItself = modalLoop_.run([&outcome] { return outcome.answered; }, alert.closesAt);

    ModalResponse response;
    const long code = outcome.response;
    const bool fromButton
        = code >= alertFirstButtonReturn && code < alertFirstButtonReturn + static_cast<long>(alert.buttons.size());
    response.code = closedItself ? modalResponseAbort : fromButton ? code : closedWithoutButton;
    if (closedItself && outcome.entry != nullptr) {
        outcome.fieldText = gtk_entry_get_text(GTK_ENTRY(outcome.entry));
    }
    response.fieldText = std::move(outcome.fieldText);
    g_signal_handlers_disconnect_by_data(dialog, &outcome);
    gtk_widget_destroy(dialog);
    g_object_unref(dialog);
    return response;
}

} // namespace lintara::gtk
