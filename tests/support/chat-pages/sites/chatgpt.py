"""chatgpt.com's conversation page, as its own markup has it.

Where the markup comes from (public exporters and userscripts that read the
page; their selectors and quoted HTML):
- per-turn `article[data-testid="conversation-turn-N"]` with `data-turn`, a
  visually hidden `h5.sr-only` "You said:" / `h6.sr-only` "ChatGPT said:",
  then plain divs down to `div[data-message-author-role]` holding
  `.whitespace-pre-wrap` (a prompt) or `.markdown.prose` (a reply): a saved
  turn quoted in a public conversation export (code search "conversation-turn
  sr-only ChatGPT said"), shixiaogaoya/ai-chat-exporter platforms/chatgpt.js,
  the Chatworthy extension's content script (`[data-message-author-role],
  article[data-testid^="conversation-turn"]`).
- the composer: ProseMirror `div#prompt-textarea[contenteditable]` with a
  hidden fallback `textarea[name=prompt-textarea]`; `button#composer-submit-
  button` "Send prompt" turning into `[data-testid="stop-button"]` "Stop
  streaming" while a reply streams (exporters' "generating" probes).
- per-turn action bars ("Copy", "Edit message"; "Copy", "Good response",
  "Bad response", "Read aloud", "Switch model") with the labels the recorded
  tree in tests/fixtures/chatgpt carries.
Only what the page itself has: no ids but `main`, `thread` and the
composer's, no labels or roles beyond the page's own.

One departure: the editor has no role, so Chromium on Linux exposes it as an
editable group, not a text field, and a harness that types into the page's
text field finds none. The page shows its fallback textarea (the state the
real page has before its editor takes over); Return in either sends.
"""
import html

URL = "https://chatgpt.com/c/6750a1b2-0c3d-8000-9e4f-1a2b3c4d5e6f"

TURN = "text-token-text-primary w-full focus:outline-none scroll-mt-[calc(var(--header-height)+min(200px,max(70px,20svh)))]"
INNER = ("text-base my-auto mx-auto [--thread-content-margin:--spacing(4)] px-(--thread-content-margin)",
         "[--thread-content-max-width:40rem] mx-auto flex max-w-(--thread-content-max-width) flex-1 text-base gap-4 "
         "md:gap-5 lg:gap-6 group/turn-messages focus-visible:outline-hidden relative flex w-full min-w-0 flex-col")
ICON = '<svg width="20" height="20" viewBox="0 0 20 20" aria-hidden="true"><path d="M4 4h12v12H4z"></path></svg>'


def icon_button(label, testid, popup=False):
    extra = ' aria-haspopup="menu" aria-expanded="false"' if popup else ""
    return (f'<button class="text-token-text-secondary hover:bg-token-bg-secondary rounded-lg" aria-label="{label}"'
            f' data-testid="{testid}"{extra}><span class="flex items-center justify-center touch:w-10 h-8 w-8">'
            f'{ICON}</span></button>')


def user_actions():
    return ('<div class="flex justify-end" aria-label="Your message actions">'
            + icon_button("Copy message", "copy-turn-action-button")
            + icon_button("Edit message", "edit-turn-action-button") + "</div>")


def reply_actions():
    return ('<div class="flex min-h-[46px] justify-start"><div class="-ms-2.5 flex flex-wrap items-center gap-y-4 p-1 '
            'select-none" aria-label="Response actions">'
            + icon_button("Copy", "copy-turn-action-button")
            + icon_button("Good response", "good-response-turn-action-button")
            + icon_button("Bad response", "bad-response-turn-action-button")
            + icon_button("Read aloud", "voice-play-turn-action-button")
            + icon_button("Switch model", "model-switcher-turn-action-button", popup=True) + "</div></div>")


def user_turn(n, text):
    return (f'<article class="{TURN}" tabindex="-1" dir="auto" data-turn-id="u{n}" '
            f'data-testid="conversation-turn-{n}" data-scroll-anchor="false" data-turn="user">'
            '<h5 class="sr-only">You said:</h5>'
            f'<div class="{INNER[0]}"><div class="{INNER[1]}" tabindex="-1">'
            '<div class="flex max-w-full flex-col grow">'
            f'<div data-message-author-role="user" data-message-id="u{n}-msg" dir="auto" '
            'class="min-h-8 text-message relative flex w-full flex-col items-end gap-2 text-start break-words '
            'whitespace-normal [.text-message+&amp;]:mt-5">'
            '<div class="flex w-full flex-col gap-1 empty:hidden items-end rtl:items-start">'
            '<div class="user-message-bubble-color relative max-w-[var(--user-chat-width,70%)] rounded-[18px] px-4 py-1.5">'
            f'<div class="whitespace-pre-wrap">{html.escape(text)}</div></div></div></div></div>'
            f'{user_actions()}</div></div></article>')


def reply_turn(n, body_html):
    return (f'<article class="{TURN}" tabindex="-1" dir="auto" data-turn-id="a{n}" '
            f'data-testid="conversation-turn-{n}" data-scroll-anchor="false" data-turn="assistant">'
            '<h6 class="sr-only">ChatGPT said:</h6>'
            f'<div class="{INNER[0]}"><div class="{INNER[1]}" tabindex="-1">'
            '<div class="flex max-w-full flex-col grow">'
            f'<div data-message-author-role="assistant" data-message-id="a{n}-msg" data-message-model-slug="gpt-5" '
            'dir="auto" class="min-h-8 text-message relative flex w-full flex-col items-end gap-2 text-start '
            'break-words whitespace-normal [.text-message+&amp;]:mt-5">'
            '<div class="flex w-full flex-col gap-1 empty:hidden first:pt-[3px]">'
            '<div class="markdown prose dark:prose-invert w-full break-words light markdown-new-styling">'
            f'{body_html}</div></div></div></div>{reply_actions()}</div></div></article>')


def page(rich):
    turns = [
        user_turn(1, "Why is the sky blue?"),
        reply_turn(2, rich.body("chatgpt", rich.HISTORY) + ""),
        user_turn(3, "And why are sunsets red?"),
        reply_turn(4, "<p>At sunset the light crosses more air, so the blue is scattered away and the reds "
                      "and oranges are left.</p>"),
    ]
    # The history reply carries the controls and the notice real pages put beside a reply.
    turns[1] = turns[1].replace("</div></div></div></div><div class=\"flex min-h-[46px]",
                                "</div>" + rich.beside("chatgpt") + "</div></div></div><div class=\"flex min-h-[46px]", 1)
    body = f"""
<div class="flex h-svh w-screen flex-col"><div class="relative flex h-full w-full flex-1 overflow-hidden">
 <div class="bg-token-sidebar-surface-primary relative z-21 h-full shrink-0 overflow-hidden">
  <nav class="group/scrollport relative flex h-full w-full flex-1 flex-col overflow-y-auto" aria-label="Chat history">
   <a class="group __menu-item hoverable" href="/"><div class="flex min-w-0 items-center gap-1.5"><div class="truncate">New chat</div></div></a>
   <a class="group __menu-item hoverable" href="#"><div class="truncate">Search chats</div></a>
   <h2 class="__menu-label">Chats</h2>
   <a class="group __menu-item hoverable" href="#"><div class="truncate" dir="auto">Blue sky and red sunsets</div></a>
  </nav>
 </div>
 <div class="relative flex h-full max-w-full flex-1 flex-col overflow-hidden">
  <main class="transition-width relative h-full w-full flex-1 overflow-auto" id="main">
   <div id="thread" class="group/thread @container/thread h-full w-full">
    <div class="relative flex min-h-0 grow basis-auto flex-col overflow-y-auto">
     <div class="flex flex-col text-sm thread-xl:pt-header-height pb-25">{''.join(turns)}</div>
    </div>
    <div class="composer-parent flex flex-col">
     <form class="w-full" data-type="unified-composer"><div class="bg-token-bg-primary flex w-full cursor-text flex-col rounded-[28px]">
      <div class="_prosemirror-parent_ebv8s_2 text-token-text-primary max-h-[max(30svh,5rem)] flex-1 overflow-auto">
       <textarea class="_fallbackTextarea_ebv8s_2" name="prompt-textarea" placeholder="Ask anything" data-virtualkeyboard="true" rows="1"></textarea>
       <div contenteditable="true" translate="no" class="ProseMirror" id="prompt-textarea" data-virtualkeyboard="true"><p data-placeholder="Ask anything" class="placeholder"><br class="ProseMirror-trailingBreak"></p></div>
      </div>
      <div class="flex items-center gap-2">
       <button type="button" class="composer-btn" aria-label="Add photos &amp; files" data-testid="composer-plus-btn">{ICON}</button>
       <button type="button" class="composer-btn" aria-label="Start voice mode" data-testid="composer-speech-button">{ICON}</button>
       <button id="composer-submit-button" aria-label="Send prompt" data-testid="send-button" class="composer-submit-btn composer-submit-button-color h-9 w-9">{ICON}</button>
      </div>
     </div></form>
     <div class="text-token-text-secondary relative mt-auto flex min-h-8 w-full items-center justify-center p-2 text-center text-xs">
      <div>ChatGPT can make mistakes. Check important info.</div></div>
    </div>
   </div>
  </main>
 </div>
</div></div>"""
    return URL, "Blue sky and red sunsets", body
