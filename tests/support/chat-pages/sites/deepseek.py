"""DeepSeek's conversation page as chat.deepseek.com serves it.

Where the markup comes from (public exporters, userscripts and extensions
that read the page):
- exporters' selectors (e.g. blueberrycongee/DeepSeek-Chat-Exporter and its
  translations, woodcoal/deepseek-chat-export, prompt-tool adapters): every
  message is `div.ds-message`, a reply holds `div.ds-markdown` (a user
  message does not), paragraphs are `p.ds-markdown-paragraph`, the reasoning
  sits in `div.ds-think-content` under a "Thought for N seconds" header;
- saved pages behind those scripts: the virtualised list
  `div.ds-virtual-list > div.ds-virtual-list-items >
  div.ds-virtual-list-visible-items`, a prompt as `div._9663006 >
  div.ds-message > div.fbb737a4` with hover actions `div.ds-hover-actions`,
  a reply as `div._4f9bf79 > div.ds-message > div.ds-markdown` followed by
  its action bar `div._0a3d93b > div.ds-flex` of icon buttons
  (`div.ds-icon-button[role=button]`, no accessible name), and the composer
  `textarea._27c9245.ds-scroll-area` "Message DeepSeek" beside the
  "DeepThink" and "Search" toggles (`div[role=button].ds-toggle-button`)
  and the icon-only send button;
- userscripts that widen the page (`.ds-theme > div …`): every container is a
  hashed-class div, with no id, role or label.

The conversation here was held with DeepThink off: no reasoning block.
Nothing carries an id, a role or a label the real page lacks.
"""
import html

URL = "https://chat.deepseek.com/a/chat/s/8d1f0e2a-4b6c-4e11-9a3d-5c7e2b9f1a04"
TITLE = "DeepSeek - Into the Unknown"

HISTORY = [
    ("Write a prime sieve in Rust", None),
    ("Why is the sky blue? Keep it short", "rich"),
]
PLAIN_REPLY = ('<p class="ds-markdown-paragraph">Here is a <strong>sieve of Eratosthenes</strong> that marks '
               'composites in a <code>Vec&lt;bool&gt;</code>.</p>'
               '<p class="ds-markdown-paragraph">It runs in <strong>O(n log log n)</strong> time.</p>')

STYLE = ("<style>._9663006{text-align:right;margin:8px}.fbb737a4{display:inline-block;background:#eef;"
         "border-radius:12px;padding:4px 10px;white-space:pre-wrap}._4f9bf79{margin:8px}"
         "._27c9245{width:90%;min-height:3em}</style>")


def icon_button():
    return '<div class="ds-icon-button db183363" tabindex="0" role="button" aria-disabled="false"><div class="ds-icon"></div></div>'


def user_item(key, prompt):
    return (f'<div data-virtual-list-item-key="{key}" class="_9663006">'
            f'<div class="d29f3d7d ds-message _63c77b1"><div class="fbb737a4">{html.escape(prompt)}</div></div>'
            f'<div class="_78e0558 ds-hover-actions"><div class="ds-flex _965abe9">{icon_button()}{icon_button()}</div></div>'
            '</div>')


def reply_item(key, body, beside=""):
    return (f'<div data-virtual-list-item-key="{key}" class="_4f9bf79 d7dc56a8 _43c05b5">'
            f'<div class="ds-message _63c77b1"><div class="ds-markdown">{body}</div></div>{beside}'
            f'<div class="_0a3d93b"><div class="ds-flex _965abe9">{"".join(icon_button() for _ in range(4))}</div></div>'
            '</div>')


def page(rich):
    items = []
    for i, (prompt, kind) in enumerate(HISTORY):
        items.append(user_item(2 * i + 1, prompt))
        items.append(reply_item(2 * i + 2, rich.body("deepseek", rich.HISTORY) if kind else PLAIN_REPLY,
                                rich.beside("deepseek") if kind else ""))
    body = (
        STYLE +
        '<div class="ds-theme"><div class="c3ecdb44">'
        '<div class="_3586175"><div class="_5a8ac7a">'
        '<div class="_217e214" tabindex="0">New chat</div>'
        '<div class="f3d18f6a">Today</div>'
        '<a class="_546d736" href="/a/chat/s/8d1f0e2a-4b6c-4e11-9a3d-5c7e2b9f1a04"><div class="c08e6e93">Prime sieve in Rust</div></a>'
        '<a class="_546d736" href="/a/chat/s/3c2b1a09-8f7e-4d6c-b5a4-938271605f4e"><div class="c08e6e93">Translate a letter</div></a>'
        '</div></div>'
        '<div class="_7780f2e"><div class="_2be88ba"><div class="d8ed659a">Prime sieve in Rust</div></div>'
        '<div class="_0f72b0b ds-scroll-area"><div class="ds-virtual-list"><div class="ds-virtual-list-items">'
        f'<div class="ds-virtual-list-visible-items">{"".join(items)}</div></div></div></div>'
        '<div class="_24fad49"><div class="_77cefa5"><div class="dd442025">'
        '<textarea class="_27c9245 ds-scroll-area d96f2d2a" placeholder="Message DeepSeek" rows="2"></textarea>'
        '</div><div class="ec4f5d61">'
        '<div role="button" class="ds-button ds-toggle-button" tabindex="0"><span class="ds-button__text">DeepThink</span></div>'
        '<div role="button" class="ds-button ds-toggle-button" tabindex="0"><span class="ds-button__text">Search</span></div>'
        '<div class="bf38813a">' + icon_button() + '<div class="_7436101 ds-icon-button" role="button" aria-disabled="true" tabindex="0"><div class="ds-icon"></div></div></div>'
        '</div></div></div>'
        '<div class="_0fcaa63">AI-generated, for reference only</div>'
        '</div></div></div>')
    return URL, TITLE, body
