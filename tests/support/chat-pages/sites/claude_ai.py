"""claude.ai's chat page, as its own markup has it.

Where the markup comes from (public exporters, userscripts and extensions
that read the page; their selectors and saved HTML):
- each message in a plain `div[data-test-render-count]`; a prompt's body
  `div[data-testid="user-message"].!font-user-message` holding
  `p.whitespace-pre-wrap`; a reply `div[data-is-streaming]` around
  `div.font-claude-response > div.standard-markdown`, and the reply's action
  bar `[role=group][aria-label="Message actions"]` (a public multi-site
  userscript's Claude adapter, "found on the live site, 2026-08"; the
  claude-chat-exporter and Claude-Chat-Export-Tool READMEs and scripts; a
  saved claude.ai page quoted in a public repository).
- the screen-reader line before each message, "You said: …" / "Claude
  responded: …", and a prompt's time ("4:50 AM"): text copied out of the
  page, quoted in public repositories (code search "Claude responded:").
- the composer: a tiptap/ProseMirror contenteditable labelled "Write your
  prompt to Claude" inside a fieldset; "Send message", and "Stop response"
  while a reply streams; the model picker and the finished-response
  announcement as the recorded tree in tests/fixtures/claude_ai has them.
No "Chat messages" container and no "Message N of M" labels: the page has none.
"""
import html

URL = "https://claude.ai/chat/0e8f2a4c-6b1d-4f3e-9a5c-7b0d2e4f6a81"
ICON = '<svg width="16" height="16" viewBox="0 0 16 16" aria-hidden="true"><path d="M2 2h12v12H2z"></path></svg>'


def icon_button(label, testid=None):
    t = f' data-testid="{testid}"' if testid else ""
    return (f'<button class="inline-flex items-center justify-center relative shrink-0 h-8 w-8 rounded-md '
            f'active:scale-95" type="button" aria-label="{label}"{t}>{ICON}</button>')


def prompt(text, time):
    return ('<div data-test-render-count="1"><div class="mb-1 mt-1"><div class="group relative inline-flex gap-2 '
            'bg-bg-300 rounded-xl pl-2.5 py-2.5 break-words text-text-100 transition-all max-w-[75ch] flex-col pr-6">'
            f'<h2 class="sr-only">You said: {html.escape(text)}</h2>'
            '<div class="flex flex-row gap-2 relative"><div data-testid="user-message" '
            'class="font-large !font-user-message grid grid-cols-1 gap-2 py-0.5 break-words">'
            f'<p class="whitespace-pre-wrap break-words">{html.escape(text)}</p></div></div>'
            '<div class="absolute bottom-0 right-2 pointer-events-none opacity-0 group-hover:opacity-100 flex '
            f'items-center gap-1"><span class="text-text-500 text-xs">{time}</span>'
            + icon_button("Edit") + icon_button("Copy", "action-bar-copy") + '</div></div></div></div>')


def reply(body_html, first_line, beside=""):
    return ('<div data-test-render-count="1"><div style="height: auto; opacity: 1; transform: none;">'
            '<div data-is-streaming="false" class="group relative -tracking-[0.015em] pb-3">'
            f'<h2 class="sr-only">Claude responded: {html.escape(first_line)}</h2>'
            '<div class="font-claude-response relative leading-[1.65rem] [&amp;_pre>div]:bg-bg-000/50 '
            'font-claude-response-body"><div><div class="standard-markdown grid-cols-1 grid gap-2.5 '
            f'[&amp;_&gt;_*]:min-w-0">{body_html}</div></div>{beside}</div>'
            '<div class="absolute -bottom-0 -right-1.5 sm:right-2"><div role="group" aria-label="Message actions" '
            'class="text-text-300 flex items-stretch justify-between">'
            + icon_button("Copy", "action-bar-copy") + icon_button("Give positive feedback")
            + icon_button("Give negative feedback") + icon_button("Retry", "action-bar-retry")
            + '</div></div></div></div></div>')


def page(rich):
    first = "".join(r[1] for r in rich.HISTORY[0][1] if r[0] != "img")
    messages = [
        prompt("Why is the sky blue?", "4:48 PM"),
        reply(rich.body("claude_ai", rich.HISTORY), first, rich.beside("claude_ai")),
        prompt("And why are sunsets red?", "4:50 PM"),
        reply('<p class="whitespace-normal break-words">At sunset the light crosses more air, so the blue is '
              'scattered away and the reds and oranges are left.</p>',
              "At sunset the light crosses more air, so the blue is scattered away and the reds and oranges are left."),
    ]
    return URL, "Tenancy deposit - Claude", layout("Tenancy deposit", messages)


def layout(chat_title, messages):
    """The page around the messages: sidebar, header, scroller, composer."""
    return f"""
<div class="flex min-h-screen w-full">
 <nav class="z-sidebar flex h-screen flex-col" aria-label="Sidebar">
  <a href="/new" class="flex items-center gap-2">New chat</a>
  <a href="/recents" class="flex items-center gap-2">Chats</a>
  <a href="/projects" class="flex items-center gap-2">Projects</a>
  <h3 class="text-text-300 text-xs">Recents</h3>
  <a href="#" class="truncate">Trip planning for Lisbon</a>
 </nav>
 <main class="flex flex-col h-full min-h-screen w-full">
  <header class="sticky top-0 flex w-full items-center justify-between">
   <button type="button" data-testid="chat-menu-trigger" class="flex items-center gap-1">{html.escape(chat_title)}</button>
   <button type="button" class="inline-flex items-center">Share</button>
  </header>
  <div class="relative flex-1 overflow-y-auto overflow-x-hidden">
   <div class="flex-1 flex flex-col gap-3 px-4 max-w-3xl mx-auto w-full pt-1">{''.join(messages)}</div>
  </div>
  <div class="sticky bottom-0 mx-auto w-full max-w-3xl">
   <fieldset class="flex w-full min-w-0 flex-col">
    <div class="flex flex-col bg-bg-000 rounded-2xl">
     <div class="relative"><div class="max-h-96 w-full overflow-y-auto break-words min-h-[3rem]">
      <div contenteditable="true" role="textbox" translate="no" class="tiptap ProseMirror break-words" tabindex="0"
           aria-label="Write your prompt to Claude" aria-multiline="true"><p data-placeholder="Reply to Claude..." class="is-empty is-editor-empty before:!text-text-500"><br class="ProseMirror-trailingBreak"></p></div>
     </div></div>
     <div class="flex gap-2.5 w-full items-center">
      <button type="button" aria-label="Add files, connectors, and more" class="inline-flex">{ICON}</button>
      <button type="button" data-testid="model-selector-dropdown" aria-label="Model: Sonnet 4.5" class="inline-flex"><div class="whitespace-nowrap">Sonnet 4.5</div></button>
      <button type="button" aria-label="Send message" class="inline-flex items-center justify-center">{ICON}</button>
     </div>
    </div>
   </fieldset>
   <div role="status" aria-live="polite" class="sr-only">Claude finished the response</div>
  </div>
 </main>
</div>"""
