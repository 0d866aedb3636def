"""Gemini's conversation page as gemini.google.com serves it.

Where the markup comes from (public exporters, userscripts and their tests):
- a verbatim gemini.google.com transcript (Aug 2026) kept as test data by a
  browser extension: `chat-window > chat-window-content > h1.cdk-visually-hidden
  "Conversation with Gemini"`, `div#chat-history.chat-history-scroll-container >
  infinite-scroller.chat-history[data-test-id=chat-history-container] >
  div.conversation-container[id]`, each holding `user-query > user-query-content
  > div.query-content#user-query-content-N > … div.query-text > h5
  .cdk-visually-hidden.screen-reader-user-query-label ("You said …") +
  p.query-text-line` and `model-response > response-container > …
  div.response-content > h6.screen-reader-model-response-label ("Gemini said")
  + structured-content-container > message-content#message-content-id-r_X >
  div.markdown.markdown-main-panel#model-response-message-contentr_X`, then
  `div.response-container-footer > message-actions` ("Good response", "Bad
  response", "Copy", "Show more options"); the composer a Quill
  `div.ql-editor[contenteditable][role=textbox]` "Enter a prompt for Gemini"
  and the mode picker "Open mode picker, currently …";
- shirayu/chrome_chat_exporter (README), Louisjo/gemini-chat-exporter and
  exporters' selector lists: `user-query`, `model-response`,
  `message-content`, `[id^="model-response-message-content"]`,
  `.markdown-main-panel`, `.query-text-line`, `#chat-history`;
- userscripts stripping `.screen-reader-user-query-label` /
  `.screen-reader-model-response-label` (h5/h6/h2 depending on the build).

Quill's editor holds a `<p>` per line; here it starts empty, so typed text is
the editor's own text (Chromium's text of a box holding a paragraph is an
embedded-object character, which a read-back of the typed prompt cannot match).

Only the elements that carry an id, a role or a label on the real page carry
one here; the Angular custom elements and the class-only divs are plain.
"""
import html

URL = "https://gemini.google.com/app/3f2a9c1e7b4d5a60"
TITLE = "Rayleigh scattering basics - Gemini"

HISTORY = [
    ("Why is the sky blue?", None),
    ("Show me the formula in Python", "rich"),
]
PLAIN_REPLY = ("<p data-path-to-node=\"0\">The sky looks blue because of Rayleigh scattering.</p>"
               "<h3 data-path-to-node=\"1\">Why not violet?</h3>"
               "<p data-path-to-node=\"2\">Sunlight contains more blue than violet, and our eyes are more "
               "sensitive to blue.</p>"
               "<ul data-path-to-node=\"3\"><li><p>Shorter wavelengths scatter more</p></li>"
               "<li><p>Air molecules are tiny</p></li></ul>")

STYLE = ("<style>.conversation-container{border-bottom:1px solid #ddd;padding:6px}"
         ".user-query-bubble-with-background{display:inline-block;background:#eef;border-radius:12px;padding:4px 10px}"
         "chat-window{display:block;flex:1}.ql-editor{border:1px solid #999;min-height:2em;padding:4px}"
         "</style>")


def user_query(n, prompt):
    text = html.escape(prompt)
    return (
        '<user-query><span class="user-query-container"><user-query-content class="user-query-container">'
        '<div class="user-query-container right-align-content">'
        f'<div class="query-content" id="user-query-content-{n}">'
        '<span data-test-id="luminous-collapsed-bubble" class="user-query-bubble-with-background">'
        '<span class="horizontal-container"><div class="query-text gds-body-l" dir="ltr">'
        f'<h5 class="cdk-visually-hidden screen-reader-user-query-label"><span>You said</span> {text}</h5>'
        f'<p class="query-text-line">{text}</p>'
        '</div></span></span></div>'
        '<div class="luminous-actions-container">'
        '<gem-icon-button arialabel="Copy prompt" data-test-id="prompt-copy-button"><button aria-label="Copy prompt"></button></gem-icon-button>'
        '<gem-icon-button arialabel="Edit" data-test-id="prompt-edit-button"><button aria-label="Edit"></button></gem-icon-button>'
        '</div></div></user-query-content></span></user-query>')


def model_response(rid, body, beside=""):
    return (
        '<model-response><div><response-container><div class="response-container no-background">'
        '<div class="presented-response-container"><div class="response-container-content"><div class="response-content">'
        '<div class="model-response-label-announcer">'
        '<h6 class="cdk-visually-hidden screen-reader-model-response-label">Gemini said</h6></div>'
        '<structured-content-container class="model-response-text"><div class="container">'
        f'<message-content id="message-content-id-r_{rid}">'
        f'<div inline-copy-host="" class="markdown markdown-main-panel stronger" id="model-response-message-contentr_{rid}" '
        f'aria-busy="false" dir="ltr">{body}</div>'
        f'</message-content>{beside}</div></structured-content-container>'
        '<div class="response-footer gap complete"></div>'
        '</div></div></div>'
        '<div class="response-container-footer"><message-actions footer=""><div class="actions-container-v2">'
        '<div class="buttons-container-v2">'
        '<thumb-up-button><gem-icon-button arialabel="Good response"><button aria-label="Good response" aria-pressed="false"></button></gem-icon-button></thumb-up-button>'
        '<thumb-down-button><gem-icon-button arialabel="Bad response"><button aria-label="Bad response" aria-pressed="false"></button></gem-icon-button></thumb-down-button>'
        '<regenerate-button><button aria-label="Redo"></button></regenerate-button>'
        '<copy-button><gem-icon-button arialabel="Copy"><button aria-label="Copy"></button></gem-icon-button></copy-button>'
        '<gem-icon-button arialabel="Show more options" data-test-id="more-menu-button"><button aria-label="Show more options" '
        'aria-haspopup="true" aria-expanded="false"></button></gem-icon-button>'
        '</div></div></message-actions></div>'
        '</div></response-container></div></model-response>')


def exchange(n, prompt, body, beside=""):
    rid = f"{0x3f2a9c1e7b4d5a60 + n:016x}"
    return (f'<div class="conversation-container message-actions-hover-boundary" id="{rid}">'
            f"{user_query(n, prompt)}{model_response(rid, body, beside)}</div>")


def page(rich):
    turns = "".join(exchange(i, prompt, rich.body("gemini", rich.HISTORY) if kind else PLAIN_REPLY,
                             rich.beside("gemini") if kind else "")
                    for i, (prompt, kind) in enumerate(HISTORY))
    body = (
        STYLE +
        '<bard-sidenav class="side-navigation"><side-navigation-content>'
        '<button aria-label="Main menu" data-test-id="side-nav-menu-button"></button>'
        '<a class="side-nav-action-button" href="/app"><span class="gds-label-l">New chat</span></a>'
        '<div class="title-container"><h1 class="title gds-label-l">Recent</h1></div>'
        '<conversations-list><div class="conversation-items-container">'
        f'<a class="conversation selected" href="{URL[len("https://gemini.google.com"):]}">'
        '<div class="conversation-title">Rayleigh scattering basics</div></a>'
        '<a class="conversation" href="/app/8c1d2e3f4a5b6c7d"><div class="conversation-title">Trip packing list</div></a>'
        '</div></conversations-list>'
        '<button aria-label="Settings &amp; help"></button>'
        '</side-navigation-content></bard-sidenav>'
        '<chat-window class="lm-canvas-styling"><chat-window-content>'
        '<div class="top-bar-actions"><bard-logo><a href="/app" class="bard-logo"><span class="bard-text">Gemini</span></a></bard-logo>'
        '<button aria-label="Share conversation"></button></div>'
        '<h1 class="cdk-visually-hidden">Conversation with Gemini</h1>'
        '<div id="chat-history" class="chat-history-scroll-container">'
        f'<infinite-scroller data-test-id="chat-history-container" class="chat-history">{turns}</infinite-scroller>'
        '</div></chat-window-content>'
        '<input-container><fieldset class="input-area-container"><input-area-v2>'
        '<div data-node-type="input-area" class="input-area"><div class="text-input-field simplified-input-area">'
        '<rich-textarea class="text-input-field_textarea ql-container ql-bubble" enterkeyhint="send" dir="ltr">'
        '<div class="ql-editor textarea new-input-ui ql-blank" contenteditable="true" role="textbox" '
        'aria-multiline="true" aria-label="Enter a prompt for Gemini" data-placeholder="Ask Gemini"></div>'
        '</rich-textarea>'
        '<div class="leading-actions-wrapper"><gem-icon-button arialabel="Upload and tools">'
        '<button aria-expanded="false" aria-haspopup="menu" aria-label="Upload and tools"></button></gem-icon-button></div>'
        '<div class="trailing-actions-wrapper with-model-picker"><bard-mode-switcher>'
        '<button data-test-id="bard-mode-menu-button" class="input-area-switch" type="button" '
        'aria-label="Open mode picker, currently 2.5 Flash" aria-haspopup="true" aria-expanded="false">'
        '<span>2.5 Flash</span></button></bard-mode-switcher>'
        '<div class="send-button-container"><button class="send-button submit" aria-label="Send message"></button></div>'
        '</div></div></div></input-area-v2></fieldset>'
        '<hallucination-disclaimer><p class="hallucination-disclaimer gds-label-m">'
        'Gemini can make mistakes, so double-check it</p></hallucination-disclaimer>'
        '</input-container></chat-window>')
    return URL, TITLE, body
