"""A Google Docs document with the Gemini side panel open, as
docs.google.com serves it.

Where the markup comes from (public extensions and scripts that read or hide
the panel):
- an AI-usage recorder's notes: the panel is `.appsElementsSidekickRoot` on
  docs.google.com (Docs, Sheets and Slides alike), its composer is labelled
  "Ask Gemini" and sent with a "Submit" button; a reply streams into an
  existing `.appsElementsSidekickAgentMessageBubbleContent` rather than a new
  node, and a disabled second "Submit" button sits beside the live one;
- page cleaners' selector lists: `.docs-sidekick-button-container`,
  `.appsElementsSidekickEntryPointRoot` (the toolbar's Gemini button),
  `.docsSidekickSideSheetRoot` (the side sheet the panel lives in);
- the panel's own class names for its feed, its user and agent messages, the
  prompt heading, the thinking state and the feedback row, as the accessibility
  tree of the page shows them.

Only what carries a role or a label on the real page carries one here: the
side sheet, the feed and every message wrapper are class-only divs.
"""
import html

URL = "https://docs.google.com/document/d/1AbCdEfGhIjKlMnOpQrStUvWxYz0123456789abcdEF/edit"
TITLE = "Offsite plan - Google Docs"
SCRIPT = "gemini_docs"

STYLE = ("<style>.docsSidekickSideSheetRoot{position:fixed;right:0;top:0;width:360px;height:100%;overflow:auto;"
         "background:#f8fafd}.kix-appview-editor{margin-right:380px}"
         ".appsElementsSidekickPromptInput{width:90%;min-height:3em}</style>")


def prompt(text, shown=None):
    # A long prompt shows cut short; the heading's label keeps it whole.
    label = f' aria-label="{html.escape(text, quote=True)}"' if shown else ""
    return ('<div class="appsElementsSidekickUserMessageRoot"><div class="appsElementsSidekickUserMessageBubble">'
            f'<h3 class="appsElementsSidekickUserMessageContainer"{label}>{html.escape(shown or text)}</h3></div>'
            '<div class="appsElementsSidekickUserMessageActions">'
            '<button type="button" aria-label="Edit prompt">'
            '<svg width="16" height="16"></svg></button></div></div>')


def actions():
    buttons = "".join(f'<button type="button" aria-label="{l}">'
                      f'<svg width="16" height="16"></svg></button>' for l in ("Copy", "Good response", "Bad response"))
    return ('<div class="appsElementsSidekickFeedbackActions">'
            '<button type="button">Insert</button>' + buttons + '</div>')


def reply(body, sources=""):
    return ('<div class="appsElementsSidekickAgentMessageRoot">'
            '<span>Gemini response</span>'
            '<div class="appsElementsSidekickAgentMessageContent">'
            f'<div class="appsElementsSidekickAgentMessageBubbleContent">{body}</div></div>'
            f'{sources}{actions()}</div>')


def source(name):
    return ('<div class="appsElementsSidekickSources"><button type="button">'
            f'Sources</button><a href="{URL}">{html.escape(name)}</a></div>')


def panel(entries):
    return (
        '<div class="docsSidekickSideSheetRoot"><div class="appsElementsSidekickRoot appsElementsSidekickSidePanel" '
        'role="complementary">'
        '<div class="appsElementsSidekickHeader"><h2>Gemini</h2>'
        '<button type="button" aria-label="New chat"><svg width="16" height="16"></svg></button>'
        '<button type="button" aria-label="More options"><svg width="16" height="16"></svg></button>'
        '<button type="button" aria-label="Close"><svg width="16" height="16"></svg></button></div>'
        '<div class="appsElementsSidekickScrollContainer"><div class="appsElementsSidekickFeedEntries">'
        f'{entries}</div></div>'
        '<div class="appsElementsSidekickComposer">'
        '<textarea class="appsElementsSidekickPromptInput" aria-label="Ask Gemini" rows="1"></textarea>'
        '<button type="button" aria-label="Submit" disabled>'
        '<svg width="16" height="16"></svg></button>'
        '<button type="button" aria-label="Submit">'
        '<svg width="16" height="16"></svg></button>'
        '<div>Gemini in Workspace can make mistakes. '
        '<a href="https://support.google.com/">Learn more</a></div></div></div></div>')


def editor(paragraphs):
    return ('<div class="docs-editor-container"><div class="kix-appview-editor" role="document" '
            'aria-label="Document content">' + "".join(f"<p>{html.escape(p)}</p>" for p in paragraphs) + "</div></div>")


def page(rich):
    entries = (
        '<div class="appsElementsSidekickFeedDivider">Today</div>' +
        prompt("Summarize this document") +
        reply(rich.body("gemini_docs", rich.HISTORY), source("Offsite plan")) +
        '<div class="appsElementsSidekickPrivacyNotice">Your content is not used to train models. '
        '<a href="https://support.google.com/">Learn more</a></div>' +
        prompt("Draft a reply that agrees with the plan and asks whether the second venue has parking",
               "Draft a reply that agrees with the…") +
        reply("<p>Thanks for putting this together. March works well for me, and the budget looks right. "
              "Does the second venue have parking?</p>"))
    body = STYLE + editor(["Offsite plan", "Budget and venues for the March offsite."]) + panel(entries)
    return URL, TITLE, body
