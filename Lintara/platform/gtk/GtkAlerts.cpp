#include "GtkAlerts.hpp"
#include "GtkShell.hpp"

#include <gtk/gtk.h>

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

    GtkWidget* informativeLabel(const std::string& text)
    {
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(label), 50);
        gtk_label_set_selectable(GTK_LABEL(label), TRUE);
        return label;
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

GtkAlerts::GtkAlerts(glib::ModalGate& gate, GtkShell& shell)
    : gate_(gate)
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
    gtk_box_pack_start(GTK_BOX(content), informativeLabel(alert.informativeText), FALSE, FALSE, 0);

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

    const bool closedItself = gate_.runModalLoop([&outcome] { return outcome.answered; }, alert.closesAt);

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
