"""Message bodies with what real chat pages put inside a message.

One content model (paragraphs with inline markup, a heading, ordered, nested
and task lists, a highlighted code block with its header, a table, images
with and without alt text, inline and display maths) is written out in the
markup each product's page uses inside a message. Where each shape comes from
(public saved pages, exporters and userscripts that read these pages):

- ChatGPT: `.markdown.prose` body; tables as `div._tableContainer_* >
  div.group._tableWrapper_* > table.w-fit`; code blocks as
  `pre.overflow-visible! > div.contain-inline-size > div (language header)`,
  a sticky button row, then `div.overflow-y-auto.p-4 > code.whitespace-pre!
  .language-X` holding one `span` per token inside wrapper spans, plain runs
  and line breaks in class-less spans (saved chatgpt.com answers in public
  READMEs).
- Claude: `.font-claude-response > .standard-markdown` (exporters' selectors);
  code blocks as a `relative flex flex-col rounded-lg` wrapper with the
  language in `div.text-text-300`, a sticky "Copy" button, then
  `code-block__code > code.language-X` with one span per line and
  `span.token` per token (saved claude.ai answers).
- Gemini: `message-content > .markdown`; `code-block > div.code-block >
  div.code-block-decoration (span language, div.buttons) >
  div.formatted-code-block-internal-container > pre > code.code-container
  [role=text]` with highlight.js spans (saved gemini pages, userscripts);
  maths in `span.math-inline[data-math]` around KaTeX.
- Perplexity: `.prose` answer; code as `pre.not-prose > div.codeWrapper`
  with a copy button row and `[data-testid=code-language-indicator]`, then
  `span > code` holding a span per line and `span.token.token` per token
  (saved perplexity.ai answers in public READMEs).
- DeepSeek: `.ds-markdown` with `p.ds-markdown-paragraph`; code as
  `div.md-code-block > div.md-code-block-banner-wrap > ... span.d813de27
  (language) + div[role=button].ds-button` ("Copy", "Run"), then a bare
  `pre` with Prism `span.token` spans (userscripts and exporters).
- Workspace's Gemini panel and Claude Design's chat: no public markup of
  message bodies was found; they get plain markdown HTML with highlight.js
  spans.
- Maths everywhere as KaTeX renders it: `span.katex > span.katex-mathml >
  math (MathML tokens, TeX annotation)` beside `span.katex-html
  [aria-hidden=true]`.
"""
import html
import re

# --- content ------------------------------------------------------------

# Inline runs: ("t", text) | ("strong"|"em"|"code", text) | ("a", text, href)
# | ("img", alt or None) | ("math", tex, mathml tokens, visual text).
HISTORY = [
    ("p", [("t", "The sky looks "), ("strong", "blue"), ("t", " because air scatters "), ("em", "short"),
           ("t", " wavelengths more, as "), ("a", "Rayleigh scattering", "https://en.wikipedia.org/wiki/Rayleigh_scattering"),
           ("t", " describes; in code that is "), ("code", "1 / wavelength ** 4"), ("t", ".")]),
    ("h3", [("t", "How strong is it?")]),
    ("ol", [[("t", "Blue light ("), ("strong", "450 nm"), ("t", ") scatters about "), ("em", "5.5"), ("t", " times more than red.")],
            [("t", "Violet scatters even more, but the Sun emits less of it.")]]),
    ("code", "python", 'def intensity(wavelength):\n    """Relative scattering."""\n    return 1 / wavelength ** 4\n\n'
                       'for nm in (450, 700):\n    print(f"{nm} nm: {intensity(nm):.3e}")'),
    ("table", [["Colour", "Wavelength", "Relative"], ["Blue", "450 nm", "5.5"], ["Red", "700 nm", "1.0"]]),
    ("p", [("t", "The law itself: "), ("math", "I \\propto \\frac{1}{\\lambda^4}",
                                       "<mi>I</mi><mo>∝</mo><mfrac><mn>1</mn><msup><mi>λ</mi><mn>4</mn></msup></mfrac>",
                                       "I∝1λ4"), ("t", " for particles much smaller than the light's wavelength.")]),
    ("p", [("img", "Spectrum of sunlight"), ("t", " The spectrum above peaks near 500 nm.")]),
]

REPLY = [
    ("p", [("t", "Here is a "), ("strong", "short answer"), ("t", " that streams in pieces, with "), ("code", "code"),
           ("t", ", a "), ("a", "link", "https://example.org/notes"), ("t", " and "), ("em", "emphasis"), ("t", ".")]),
    ("ul", [[("t", "First point")],
            [("t", "Second point with a nested list:")],
            ("ol", 3, [[("t", "third of its kind")], [("t", "fourth, with "), ("code", "x = 1")]])]),
    ("tasks", [(True, [("t", "Write the script")]), (False, [("t", "Run it on "), ("strong", "real"), ("t", " data")])]),
    ("code", "python", 'import math\n\n\ndef area(r):\n    # a circle\n    return math.pi * r ** 2\n\n'
                       'print("Hello, World!")\nprint(area(2))'),
    ("table", [["Input", "Output"], ["r = 1", "3.14"], ["r = 2", "12.57"]]),
    ("display-math", "E = mc^2", "<mi>E</mi><mo>=</mo><mi>m</mi><msup><mi>c</mi><mn>2</mn></msup>", "E=mc2"),
    ("p", [("t", "A picture without a caption: "), ("img", None), ("t", " and that is all.")]),
]

# --- code highlighting ----------------------------------------------------

_TOKENS = re.compile(r'(?P<comment>#[^\n]*)|(?P<string>"""[\s\S]*?"""|f?"[^"\n]*")|(?P<number>\b\d+(\.\d+)?\b)'
                     r'|(?P<word>[A-Za-z_]\w*)|(?P<space>[ \t]*\n[ \t]*|[ \t]+)|(?P<punct>.)')
_KEYWORDS = {"def", "return", "for", "in", "import", "print"}
_BUILTINS = {"print"}


def tokens(code):
    """(kind or None, text) for each token; kind None is plain text."""
    out, prev_def = [], False
    for m in _TOKENS.finditer(code):
        kind, text = m.lastgroup, m.group(0)
        if kind == "word":
            if text in _BUILTINS:
                kind = "built_in"
            elif text in _KEYWORDS:
                kind = "keyword"
            elif prev_def:
                kind = "title"
            else:
                kind = None
            prev_def = text == "def"
        elif kind in ("space", "punct"):
            kind = None
        out.append((kind, text))
    # Adjacent plain runs are one run, as highlighters emit them.
    merged = []
    for kind, text in out:
        if merged and kind is None and merged[-1][0] is None and "\n" not in text and "\n" not in merged[-1][1]:
            merged[-1] = (None, merged[-1][1] + text)
        else:
            merged.append((kind, text))
    return merged


def hljs(code, wrap_plain=False):
    names = {"keyword": "hljs-keyword", "built_in": "hljs-built_in", "title": "hljs-title function_",
             "string": "hljs-string", "number": "hljs-number", "comment": "hljs-comment"}
    parts = []
    for kind, text in tokens(code):
        if kind:
            parts.append(f'<span class="{names[kind]}">{html.escape(text)}</span>')
        elif wrap_plain:
            parts.append(f"<span>{html.escape(text)}</span>")
        else:
            parts.append(html.escape(text))
    return "".join(parts)


def prism(code, per_line=False, names=None):
    names = names or {"keyword": "token keyword", "built_in": "token builtin", "title": "token function",
                      "string": "token string", "number": "token number", "comment": "token comment"}
    if not per_line:
        return "".join(f'<span class="{names[k]}">{html.escape(t)}</span>' if k else html.escape(t)
                       for k, t in tokens(code))
    # One span per line (the line's break at its end), tokens inside.
    lines, cur = [], []
    for kind, text in tokens(code):
        if kind is None and "\n" in text:
            head, _, tail = text.partition("\n")
            cur.append(f"<span>{html.escape(head)}\n</span>")
            lines.append(cur)
            cur = [f"<span>{html.escape(tail)}</span>"] if tail else []
            continue
        cur.append(f'<span class="{names[kind]}">{html.escape(text)}</span>' if kind else f"<span>{html.escape(text)}</span>")
    lines.append(cur)
    return "".join(f"<span>{''.join(l)}</span>" for l in lines)


# --- maths ----------------------------------------------------------------

def katex(tex, mathml, visual, display=False):
    mode = ' display="block"' if display else ""
    body = (f'<span class="katex"><span class="katex-mathml"><math xmlns="http://www.w3.org/1998/Math/MathML"{mode}>'
            f"<semantics><mrow>{mathml}</mrow><annotation encoding=\"application/x-tex\">{html.escape(tex)}</annotation>"
            f'</semantics></math></span><span class="katex-html" aria-hidden="true"><span class="base">'
            f'<span class="strut" style="height:0.8141em;"></span>'
            + "".join(f'<span class="mord mathnormal">{html.escape(c)}</span>' for c in visual)
            + "</span></span></span>")
    return f'<span class="katex-display">{body}</span>' if display else body


# --- dialects -------------------------------------------------------------

class Dialect:
    p = "<p>{}</p>"
    code_inline = "<code>{}</code>"
    link = '<a href="{href}" target="_blank" rel="noopener">{}</a>'
    ol = "<ol{start}>{}</ol>"
    ul = "<ul>{}</ul>"
    li = "<li>{}</li>"
    tasks = '<ul class="contains-task-list">{}</ul>'
    task = '<li class="task-list-item"><input type="checkbox" disabled{checked}> {}</li>'
    table = "<table><thead>{head}</thead><tbody>{body}</tbody></table>"
    math_inline = "{}"
    img = '<img src="{src}"{alt}>'

    def code(self, lang, code):
        return f'<pre><code class="language-{lang} hljs">{hljs(code)}</code></pre>'


class ChatGPT(Dialect):
    link = '<a class="decorated-link" href="{href}" target="_blank" rel="noopener">{}</a>'
    table = ('<div class="_tableContainer_1rjym_1"><div tabindex="-1" class="group _tableWrapper_1rjym_13 flex w-fit flex-col-reverse">'
             '<table class="w-fit min-w-(--thread-content-width)"><thead>{head}</thead><tbody>{body}</tbody></table></div></div>')

    def code(self, lang, code):
        return ('<pre class="overflow-visible!"><div class="contain-inline-size rounded-2xl relative bg-token-sidebar-surface-primary">'
                '<div class="flex items-center text-token-text-secondary px-4 py-2 text-xs font-sans justify-between h-9 '
                f'bg-token-sidebar-surface-primary select-none rounded-t-2xl">{lang}</div>'
                '<div class="sticky top-9"><div class="absolute end-0 bottom-0 flex h-9 items-center pe-2">'
                '<div class="bg-token-bg-elevated-secondary text-token-text-secondary flex items-center gap-4 rounded-sm px-2 font-sans text-xs">'
                '<button class="flex gap-1 items-center select-none py-1" aria-label="Copy">Copy</button>'
                '<button class="flex gap-1 items-center select-none py-1">Run</button></div></div></div>'
                f'<div class="overflow-y-auto p-4" dir="ltr"><code class="whitespace-pre! language-{lang}">'
                f"<span>{hljs(code, wrap_plain=True)}</span></code></div></div></pre>")


class Claude(Dialect):
    p = '<p class="whitespace-normal break-words">{}</p>'
    ol = '<ol class="[&:not(:last-child)_ul]:pb-1 [&:not(:last-child)_ol]:pb-1 list-decimal space-y-1.5 pl-7"{start}>{}</ol>'
    ul = '<ul class="[&:not(:last-child)_ul]:pb-1 [&:not(:last-child)_ol]:pb-1 list-disc space-y-1.5 pl-7">{}</ul>'
    li = '<li class="whitespace-normal break-words">{}</li>'
    code_inline = '<code class="bg-text-200/5 border border-0.5 border-border-300 text-danger-000 whitespace-pre-wrap rounded-[0.4rem] px-1 py-px text-[0.9rem]">{}</code>'
    link = '<a href="{href}" class="underline" target="_blank" rel="noopener noreferrer">{}</a>'
    table = ('<div class="overflow-x-auto w-full px-2 mb-6"><table class="min-w-full border-collapse text-sm leading-[1.7] whitespace-normal">'
             "<thead>{head}</thead><tbody>{body}</tbody></table></div>")

    def code(self, lang, code):
        return ('<div class="relative flex flex-col rounded-lg">'
                f'<div class="text-text-300 absolute pl-3 pt-2.5 text-xs">{lang}</div>'
                '<div class="pointer-events-none sticky my-0.5 ml-0.5 flex items-center justify-end px-1.5 py-1 mix-blend-luminosity top-0">'
                '<div class="from-bg-300/90 to-bg-300/70 pointer-events-auto rounded-md bg-gradient-to-b p-0.5 backdrop-blur-md">'
                '<button class="flex flex-row items-center gap-1 rounded-md p-1 py-0.5 text-xs transition-opacity delay-100 hover:bg-bg-200 opacity-60 hover:opacity-100">'
                '<span class="text-text-200 pr-0.5">Copy</span></button></div></div>'
                '<div><pre class="code-block__code !my-0 !rounded-lg !text-sm !leading-relaxed">'
                f'<code class="language-{lang}">{prism(code, per_line=True)}</code></pre></div></div>')


class Gemini(Dialect):
    p = '<p data-path-to-node="0">{}</p>'

    def code(self, lang, code):
        return ('<code-block class="ng-star-inserted"><div class="code-block ng-star-inserted">'
                f'<div class="code-block-decoration header-formatted gds-title-s ng-star-inserted"><span>{lang.capitalize()}</span>'
                '<div class="buttons ng-star-inserted"><button aria-label="Copy code" class="mdc-icon-button mat-mdc-icon-button">'
                '</button></div></div><div class="formatted-code-block-internal-container"><div class="animated-opacity">'
                f'<pre><code role="text" data-test-id="code-content" class="code-container formatted">{hljs(code)}</code></pre>'
                "</div></div></div></code-block>")

    math_inline = '<span class="math-inline" data-math="{tex}">{}</span>'


class Perplexity(Dialect):
    p = '<p class="my-2 [&+p]:mt-4 [&_strong:has(+br)]:inline-block [&_strong:has(+br)]:pb-2">{}</p>'
    ol = '<ol class="marker:text-quiet list-decimal"{start}>{}</ol>'
    ul = '<ul class="marker:text-quiet list-disc">{}</ul>'
    li = '<li class="py-0 my-0 prose-p:pt-0 prose-p:mb-2 prose-p:my-0 [&amp;>p]:pt-0 [&amp;>p]:mb-2 [&amp;>p]:my-0">{}</li>'
    link = '<a href="{href}" class="reset interactable cursor-pointer decoration-1 underline-offset-1 text-super hover:underline font-semibold" target="_blank" rel="noopener">{}</a>'
    # Its Prism build keeps only some kinds in the class.
    tokens = {k: "token token" for k in ("keyword", "built_in", "title", "string", "number", "comment")}

    def code(self, lang, code):
        return ('<pre class="not-prose w-full rounded font-mono text-sm font-extralight"><div class="codeWrapper text-light '
                'selection:text-super selection:bg-super/10 my-md relative flex flex-col rounded-lg font-mono text-sm font-normal bg-subtler">'
                '<div class="translate-y-xs -translate-x-xs bottom-xl mb-xl flex h-0 items-start justify-end sm:sticky sm:top-xs">'
                '<div class="overflow-hidden rounded-full border-subtlest ring-subtlest divide-subtlest bg-base">'
                '<div class="border-subtlest ring-subtlest divide-subtlest bg-subtler">'
                '<button aria-label="Copy code" type="button" class="focus-visible:bg-subtle hover:bg-subtle text-quiet '
                'inline-flex text-sm h-8 aspect-square" data-state="closed"><div class="flex shrink-0 items-center justify-center size-4">'
                '<svg role="img" class="inline-flex fill-current" width="16" height="16"></svg></div></button>'
                '</div></div></div><div class="-mt-xl"><div><div data-testid="code-language-indicator" '
                f'class="text-quiet bg-subtle py-xs px-sm inline-block rounded-br rounded-tl-lg text-xs font-thin">{lang}</div></div>'
                f'<div><span><code>{prism(code, per_line=True, names=self.tokens)}</code></span></div></div></div></pre>')


class DeepSeek(Dialect):
    p = '<p class="ds-markdown-paragraph">{}</p>'

    def code(self, lang, code):
        button = ('<div role="button" class="ds-button ds-button--borderlessNeutral ds-button--borderless ds-button--capsule '
                  'ds-button--xs ds-button--icon-relative-m ds-button--min-width" tabindex="0"><span class="ds-button__icon">'
                  '</span><span class="code-info-button-text">{}</span></div>')
        return ('<div class="md-code-block md-code-block-light"><div class="md-code-block-banner-wrap">'
                '<div class="md-code-block-banner md-code-block-banner-lite"><div class="_121d384">'
                f'<div class="d2a24f03"><span class="d813de27">{lang}</span></div><div class="d2a24f03 _246a029">'
                f'<div class="efa13877">{button.format("Copy")}{button.format("Run")}</div></div></div></div></div>'
                f"<pre>{prism(code)}</pre></div>")


DIALECTS = {"chatgpt": ChatGPT(), "claude_ai": Claude(), "claude_cowork": Claude(), "gemini": Gemini(),
            "perplexity": Perplexity(), "deepseek": DeepSeek()}

IMAGE = ("data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg' width='120' height='40'%3E"
         "%3Crect width='120' height='40' fill='%23cde'/%3E%3C/svg%3E")


def inline(d, runs):
    out = []
    for run in runs:
        kind = run[0]
        if kind == "t":
            out.append(html.escape(run[1]))
        elif kind in ("strong", "em"):
            out.append(f"<{kind}>{html.escape(run[1])}</{kind}>")
        elif kind == "code":
            out.append(d.code_inline.format(html.escape(run[1])))
        elif kind == "a":
            out.append(d.link.format(html.escape(run[1]), href=html.escape(run[2], quote=True)))
        elif kind == "img":
            alt = f' alt="{html.escape(run[1], quote=True)}"' if run[1] else ""
            out.append(d.img.format(src=IMAGE, alt=alt))
        elif kind == "math":
            out.append(d.math_inline.format(katex(run[1], run[2], run[3]), tex=html.escape(run[1], quote=True)))
    return "".join(out)


def items(d, entries):
    out = []
    for entry in entries:
        if isinstance(entry, tuple) and entry[0] == "ol":
            # A nested list belongs to the item before it.
            nested = d.ol.format("".join(d.li.format(inline(d, e)) for e in entry[2]), start=f' start="{entry[1]}"')
            out[-1] = out[-1][: -len("</li>")] + nested + "</li>"
        else:
            out.append(d.li.format(inline(d, entry)))
    return "".join(out)


def body(surface, blocks):
    d = DIALECTS.get(surface, Dialect())
    out = []
    for block in blocks:
        kind = block[0]
        if kind == "p":
            out.append(d.p.format(inline(d, block[1])))
        elif kind == "h3":
            out.append(f"<h3>{inline(d, block[1])}</h3>")
        elif kind == "ol":
            out.append(d.ol.format(items(d, block[1]), start=""))
        elif kind == "ul":
            out.append(d.ul.format(items(d, block[1])))
        elif kind == "tasks":
            out.append(d.tasks.format("".join(d.task.format(inline(d, runs), checked=" checked" if done else "")
                                              for done, runs in block[1])))
        elif kind == "code":
            out.append(d.code(block[1], block[2]))
        elif kind == "table":
            head = "<tr>" + "".join(f"<th>{html.escape(c)}</th>" for c in block[1][0]) + "</tr>"
            rows = "".join("<tr>" + "".join(f"<td>{html.escape(c)}</td>" for c in r) + "</tr>" for r in block[1][1:])
            out.append(d.table.format(head=head, body=rows))
        elif kind == "display-math":
            out.append(katex(block[1], block[2], block[3], display=True))
    return "".join(out)


# What sits next to a reply: a sources chip, a retry menu and the product's
# notice under the reply (role status, as the pages announce it).
NOTICES = {
    "chatgpt": "ChatGPT can make mistakes. Check important info.",
    "claude_ai": "Claude can make mistakes. Please double-check responses.",
    "claude_cowork": "Claude can make mistakes. Please double-check responses.",
    "gemini": "Gemini can make mistakes, so double-check it",
    "perplexity": "Answers can contain mistakes.",
    "deepseek": "AI-generated, for reference only",
}


def beside(surface):
    return ('<div class="flex items-center gap-2"><button type="button" class="flex items-center gap-1">Sources</button>'
            '<button type="button" aria-haspopup="menu" aria-expanded="false" class="flex items-center gap-1">Retry</button></div>'
            f'<div role="status" class="text-xs">{html.escape(NOTICES[surface])}</div>')
