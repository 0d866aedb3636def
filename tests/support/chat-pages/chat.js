// Makes a generated chat page work as a chat: Return in the composer adds the
// user turn, then a canned reply streams word by word with a stop control
// shown; when it ends the completion markers come back.
(function () {
  "use strict";
  const REPLY = "Here is a short answer that streams word by word, so a reader " +
                "sees it grow for a few seconds and then settle.";
  // The page's own reply: rich markup as the product renders it (serve.py),
  // and the controls and notice the product shows beside a finished reply.
  const RICH = window.velmarReply;
  const STEP_MS = 150;
  const $ = (sel, root) => (root || document).querySelector(sel);
  const $$ = (sel, root) => Array.from((root || document).querySelectorAll(sel));
  const last = (list) => list[list.length - 1];
  const headingStarts = (el, prefix) => {
    const h = $("h3", el);
    return !!h && (h.getAttribute("aria-label") || h.textContent).startsWith(prefix);
  };
  const button = (label, text) => {
    const b = document.createElement("button");
    if (label) b.setAttribute("aria-label", label);
    if (text) b.textContent = text;
    return b;
  };
  const div = (cls) => {
    const d = document.createElement("div");
    if (cls) d.className = cls;
    return d;
  };

  // Each surface: add(prompt) puts the new turns in place and returns
  // {target, onText, busy: [nodes shown while streaming], done: [nodes shown after]}.
  const surfaces = {
    chatgpt(prompt) {
      const arts = $$("article");
      const u = last(arts.filter((a) => headingStarts(a, "You said:"))).cloneNode(true);
      const a = last(arts.filter((a) => headingStarts(a, "ChatGPT said:"))).cloneNode(true);
      $(".whitespace-pre-wrap", u).textContent = prompt;
      const md = $(".markdown", a);
      md.replaceChildren(div());
      last(arts).after(u, a);
      const composer = $(".composer-parent > div");
      const busy = [button("Stop streaming"), button(null, "Stop answering")];
      composer.append(...busy);
      return { target: md.firstChild, busy, done: [$('[aria-label="Response actions"]', a)] };
    },
    claude_ai(prompt) {
      const list = $('[aria-label="Chat messages"]');
      const items = Array.from(list.children);
      const u = last(items.filter((m) => headingStarts(m, "You said:"))).cloneNode(true);
      const a = last(items.filter((m) => headingStarts(m, "Claude responded:"))).cloneNode(true);
      $("h3", u).textContent = "You said: " + prompt;
      $(".whitespace-normal", u).textContent = prompt;
      const body = $(".font-claude-response", a);
      body.replaceChildren(div(RICH ? "standard-markdown grid-cols-1 grid gap-2.5" : "whitespace-normal break-words"));
      list.append(u, a);
      const n = list.children.length;
      Array.from(list.children).forEach((m, i) => m.setAttribute("aria-label", `Message ${i + 1} of ${n}`));
      const status = $$('[role="status"]').find((n) => !n.closest('[aria-label="Chat messages"]'));
      status.textContent = "";
      const send = $('[aria-label="Send message"]');
      const stop = button("Stop response");
      send.hidden = true;
      send.after(stop);
      return {
        target: body.firstChild, busy: [stop], done: [$('[role="toolbar"]', a)],
        onText: (t) => { $("h3", a).textContent = "Claude responded: " + t; },
        onDone: () => { send.hidden = false; status.textContent = "Claude finished the response"; },
      };
    },
    gemini(prompt) {
      const c = last($$(".conversation-container")).cloneNode(true);
      $("h3", c).textContent = "You said " + prompt;
      $(".query-text", c).replaceChildren(Object.assign(div("query-text-line"), { textContent: prompt }));
      const md = $(".markdown", c);
      md.replaceChildren(div());
      last($$(".conversation-container")).after(c);
      const stop = button("Stop response");
      $(".input-area-container").append(stop);
      return { target: md.firstChild, busy: [stop], done: [$(".response-container-footer", c)] };
    },
    perplexity(prompt) {
      const host = $(".scrollable-container > div");
      const kids = Array.from(host.children);
      const start = kids.lastIndexOf(last(kids.filter((k) => k.classList.contains("group/query"))));
      let end = kids.findIndex((k, i) => i > start && $("h3", k) && $("h3", k).textContent === "Related");
      if (end < 0) end = kids.length;
      const clones = kids.slice(start, end).map((k) => k.cloneNode(true));
      const [, question] = clones;
      question.children[0].textContent = prompt;
      question.children[1].textContent = "9:45 AM";
      // After the tabs: source chips (not always), the answer, then its actions.
      const tabs = clones.findIndex((k) => k.getAttribute("role") === "tablist");
      const actions = clones.filter((k) => k.tagName === "BUTTON");
      const blocks = clones.slice(tabs + 1).filter((k) => k.tagName !== "BUTTON");
      const answer = blocks[blocks.length - 1];
      blocks.slice(0, -1).forEach((k) => clones.splice(clones.indexOf(k), 1));
      answer.replaceChildren(div(RICH ? "prose dark:prose-invert inline leading-relaxed break-words min-w-0" : null));
      if (end < kids.length) kids[end].before(...clones); else host.append(...clones);
      const stop = button("Stop generating");
      $("textarea").after(stop);
      return { target: answer.firstChild, busy: [stop], done: actions };
    },
    deepseek(prompt) {
      const list = $(".ds-virtual-list-visible-items");
      const u = last($$("._9663006", list)).cloneNode(true);
      const a = last($$("._4f9bf79", list)).cloneNode(true);
      $(".fbb737a4", u).replaceChildren(prompt);
      for (const sel of ["._5255ff8", "._74c0879", ".ds-think-content"]) $$(sel, a).forEach((n) => n.remove());
      const md = $(".ds-markdown", a);
      md.replaceChildren(div(RICH ? null : "ds-markdown-paragraph"));
      list.append(u, a);
      const stop = button("Stop");
      $("._24fad49").append(stop);
      return { target: md.firstChild, busy: [stop], done: [$("._0a3d93b", a)] };
    },
    // The design side chat: the prompt is a bubble; the reply is tool lines
    // and prose beside the avatar, with a stop control under the composer.
    claude_design(prompt) {
      const list = $(".om-chat-messages");
      const u = last($$(".select-text.w-fit", list)).parentElement.cloneNode(true);
      $$(".om-attachment-thumb", u).forEach((n) => n.remove());
      $(".select-text", u).textContent = prompt;
      const a = last($$(".om-assistant-turn", list)).cloneNode(true);
      const body = a.lastElementChild;
      const tool = $(".om-tool-line", body);
      const prose = div("prose");
      body.replaceChildren(...(tool ? [tool] : []), prose);
      list.append(u, a);
      const stop = button("Stop response");
      $(".om-composer").after(stop);
      return { target: prose, busy: [stop], done: [] };
    },
    claude_cowork(prompt) { return surfaces.claude_ai(prompt); },
  };

  const surface = document.body.dataset.surface;
  let streaming = false;

  // ---- What a person reads in a bubble --------------------------------------
  // The page's own statement of each turn's text, from the rendered DOM:
  // inline runs join as rendered, blocks (and <br>) break lines once, code
  // keeps every character, list items carry their markers, table rows join
  // their cells with " | ", images read "[image: ALT]" or "[image]", a
  // formula reads as its MathML tokens, and controls, notices, hidden and
  // aria-hidden parts are not text.
  const CONTROL_ROLES = new Set(["button", "menu", "menubar", "menuitem", "toolbar", "status", "alert", "tooltip",
                                 "progressbar", "tablist", "tab"]);
  const CONTROL_TAGS = new Set(["BUTTON", "INPUT", "TEXTAREA", "SELECT", "SCRIPT", "STYLE", "TEMPLATE", "svg"]);

  // Clipped to a pixel: there for screen readers, not for the eye.
  const visuallyHidden = (cs) => cs.position === "absolute" && cs.overflow === "hidden" &&
    parseFloat(cs.width) <= 1 && parseFloat(cs.height) <= 1;

  function mathText(math) {
    let out = "";
    const visit = (n) => {
      if (n.nodeType === Node.TEXT_NODE) { out += n.data.trim(); return; }
      if (n.localName === "annotation" || n.localName === "annotation-xml") return;
      n.childNodes.forEach(visit);
    };
    visit(math);
    return out;
  }

  function readText(root, skip) {
    let out = "";
    let markerEnd = -1;     // where the text of a list item starts, right after its marker
    let collapsedTail = false;  // the last run was collapsed text (its trailing space may go)
    const atLineStart = () => out === "" || out.endsWith("\n") || out.length === markerEnd;
    const lineBreak = () => {
      if (collapsedTail) out = out.replace(/ +$/, "");
      collapsedTail = false;
      if (!atLineStart()) out += "\n";
    };
    const inline = (text) => {
      let t = text.replace(/[ \t\n\r\f]+/g, " ");
      if (atLineStart() || out.endsWith(" ")) t = t.replace(/^ /, "");
      if (t) { out += t; collapsedTail = true; }
    };
    const verbatim = (text) => { if (text) { out += text; collapsedTail = false; } };

    const visit = (node, pre, depth) => {
      if (node.nodeType === Node.TEXT_NODE) return pre ? verbatim(node.data) : inline(node.data);
      if (node.nodeType !== Node.ELEMENT_NODE) return;
      const el = node;
      if (el.localName === "math") return inline(mathText(el));
      if (skip && el.matches(skip)) return;
      if (el.getAttribute("aria-hidden") === "true" || CONTROL_TAGS.has(el.tagName) ||
          CONTROL_ROLES.has(el.getAttribute("role")) || el.getAttribute("aria-haspopup")) return;
      const cs = getComputedStyle(el);
      if (cs.display === "none" || cs.visibility === "hidden" || cs.visibility === "collapse") return;
      if (visuallyHidden(cs)) {
        // Only a formula's MathML is read from a clipped part: the visual
        // rendering beside it is aria-hidden.
        el.querySelectorAll("math").forEach((m) => inline(mathText(m)));
        return;
      }
      const tag = el.tagName;
      if (tag === "BR") { collapsedTail = false; out = out.replace(/ +$/, ""); out += "\n"; return; }
      if (tag === "IMG") {
        const alt = el.getAttribute("alt");
        if (alt === "") return;  // decorative
        return inline(alt && alt.trim() ? `[image: ${alt.trim()}]` : "[image]");
      }
      if (tag === "TABLE") {
        lineBreak();
        for (const row of el.rows) {
          const cells = Array.from(row.cells).map((c) => readText(c, skip).replace(/\s*\n\s*/g, " ").trim());
          out += cells.join(" | ");
          collapsedTail = false;
          lineBreak();
        }
        return;
      }
      const block = !cs.display.startsWith("inline");
      const inPre = pre || tag === "PRE" || cs.whiteSpace.startsWith("pre") && cs.whiteSpace !== "pre-line";
      if (block) lineBreak();
      const kids = Array.from(el.childNodes);
      let nextDepth = depth;
      if (tag === "UL" || tag === "OL") nextDepth = depth + 1;
      if (tag === "LI") {
        const list = el.parentElement;
        const box = el.querySelector(":scope > input[type=checkbox], :scope > p:first-child > input[type=checkbox]:first-child");
        let marker;
        if (box) {
          marker = box.checked ? "[x] " : "[ ] ";
        } else if (list && list.tagName === "OL") {
          const start = list.hasAttribute("start") ? parseInt(list.getAttribute("start"), 10) : 1;
          marker = `${start + Array.from(list.children).filter((c) => c.tagName === "LI").indexOf(el)}. `;
        } else {
          marker = "- ";
        }
        out += "  ".repeat(Math.max(0, depth - 1)) + marker;
        markerEnd = out.length;
        collapsedTail = false;
      }
      for (const kid of kids) visit(kid, inPre, nextDepth);
      if (block) lineBreak();
    };
    visit(root, false, 0);
    // Nothing else: a code block's last line break is not a line of its own.
    return out.replace(/^[\s\u00a0]+|[\s\u00a0]+$/g, "");
  }

  // The rules page (serve.py's /_velmar/rules) runs its cases through the reader.
  window.velmarReadText = readText;

  // Each turn's bubble, in page order: [role, element holding its text].
  const bubbleFinders = {
    chatgpt: () => $$("article").map((a) => $(".whitespace-pre-wrap", a) ? ["user", $(".whitespace-pre-wrap", a)]
                                                                           : ["assistant", $(".markdown", a)]),
    claude_ai: () => Array.from($('[aria-label="Chat messages"]').children).map((m) =>
      $(".font-user-message", m) ? ["user", $(".font-user-message", m)] : ["assistant", $(".font-claude-response", m)]),
    claude_cowork: () => bubbleFinders.claude_ai(),
    gemini: () => $$(".conversation-container").flatMap((c) => [["user", $(".query-text", c)], ["assistant", $(".markdown", c)]]),
    perplexity: () => {
      // After each query: its text, the tabs, then blocks up to the actions;
      // the last block before the actions is the answer.
      const out = [];
      let answer = null, open = false;
      for (const k of Array.from($(".scrollable-container > div").children)) {
        if (k.classList.contains("group/query")) {
          out.push(["user", k.nextElementSibling.children[0]]);
          open = true;
        } else if (open && k.tagName === "BUTTON") {
          if (answer) out.push(["assistant", answer]);
          answer = null;
          open = false;
        } else if (open && k.tagName === "DIV" && !k.getAttribute("role") && k !== out[out.length - 1][1].parentElement) {
          answer = k;
        }
      }
      if (answer) out.push(["assistant", answer]);
      return out;
    },
    deepseek: () => $$("._9663006, ._4f9bf79", $(".ds-virtual-list-visible-items")).map((m) =>
      m.classList.contains("_9663006") ? ["user", $(".fbb737a4", m)]
        : ["assistant", $$(".ds-markdown", m).find((md) => !md.closest(".ds-think-content"))]),
    claude_design: () => $$(".select-text.w-fit", $(".om-chat-messages")).map((b) => ["user", b]),
  };

  // What the capture keeps apart from a turn's text on some surfaces: an
  // artifact card and a file caption are the turn's artifact, not its text;
  // citation chips point at sources, like the Sources control.
  const apart = {
    perplexity: ".citation",
    deepseek: ".ds-markdown-cite",
    claude_ai: ".artifact-block, .line-clamp-1.text-\\[11px\\]",
    claude_cowork: ".artifact-block, .line-clamp-1.text-\\[11px\\]",
  };

  // A page rebuilt from a product's own markup brings its own script
  // (sites/<surface>.js): how a sent prompt and its reply are put in place,
  // where its bubbles are, and what inside them is not text.
  const siteMaker = (window.velmarSites || {})[surface];
  const site = siteMaker ? siteMaker({ $, $$, last, button, div, rich: RICH }) : null;
  if (site) {
    surfaces[surface] = site.add;
    if (site.bubbles) bubbleFinders[surface] = site.bubbles;
    if (site.apart) apart[surface] = site.apart;
  }

  function bubbleText(el) {
    let text = readText(el, apart[surface]);
    // A collapsed message: the page keeps the whole message in its heading,
    // and that is what the capture records.
    if (text === "Message collapsed" && surface.startsWith("claude")) {
      const h = $("h3", el.closest("[aria-label^='Message ']"));
      if (h) text = h.textContent.replace(/^(You said|Claude responded): /, "").trim();
    }
    // Claude Design: the page's own labels in a prompt ("Pasted text (3
    // lines)") are not what the user wrote; an attachment tile beside the
    // prompt is recorded as a marker line after it.
    if (surface === "claude_design") {
      const lines = text.split("\n").filter((l) => !/^Pasted text \(\d+ lines?\)$/.test(l.trim()) && l.trim() !== "Response stopped");
      for (const tile of $$(".om-attachment-thumb", el.parentElement)) {
        const name = (($("img", tile) || {}).alt || "").trim();
        lines.push(!name ? "[attached image]" : /^pasted-|^\d{10,}_image\.[A-Za-z0-9]+$/.test(name) ? "[pasted image]"
                                                   : `[attached image: ${name}]`);
      }
      text = lines.join("\n").trim();
    }
    return text;
  }

  // Posts the statement to the page server (never into the page itself, so
  // the accessibility tree stays as the product's).
  function state() {
    let turns;
    try {
      turns = (bubbleFinders[surface] || (() => []))().filter(([, el]) => el).map(([role, el]) => ({
        role, text: bubbleText(el),
        // Each code block's own text, which must arrive byte for byte.
        code: $$("pre", el).map((pre) => ($("code", pre) || pre).textContent.replace(/\n$/, "")),
      }));
    } catch (e) {
      turns = [];
    }
    fetch("/_velmar/stated", {
      method: "POST", headers: { "Content-Type": "application/json" },
      body: JSON.stringify({ href: location.href, surface, complete: !streaming, turns }),
    }).catch(() => {});
  }


  // The controls and notice beside a finished reply; a clone of an earlier
  // reply carries its own, which the new reply must not show before it ends.
  const besideNodes = () => $$("button").filter((b) => b.textContent === "Sources").map((b) => b.parentElement)
    .concat($$('[role="status"]').filter((n) => n.previousElementSibling &&
                                         $$("button", n.previousElementSibling).some((b) => b.textContent === "Sources")));

  function show(turn, content, rich) {
    if (rich) turn.target.innerHTML = content; else turn.target.textContent = content;
    if (turn.onText) turn.onText(rich ? turn.target.textContent : content);
  }

  function finish(turn, content, rich) {
    show(turn, content, rich);
    turn.busy.forEach((n) => n.remove());
    turn.done.forEach((n) => n && (n.hidden = false));
    if (rich && RICH.beside) {
      const anchor = turn.besideAfter ||
        (["perplexity", "claude_ai", "claude_cowork"].includes(surface) ? turn.target : turn.target.parentElement);
      anchor.insertAdjacentHTML("afterend", RICH.beside);
    }
    if (turn.onDone) turn.onDone();
  }

  // The rich reply as it streams: its first `chars` characters of text, the
  // markup around them as the product renders a partial reply; images and
  // formulas past the cut are not there yet.
  function partial(html, chars) {
    const t = document.createElement("template");
    t.innerHTML = html;
    const walker = document.createTreeWalker(t.content, NodeFilter.SHOW_TEXT | NodeFilter.SHOW_ELEMENT);
    const late = [];
    let left = chars;
    while (walker.nextNode()) {
      const node = walker.currentNode;
      if (node.nodeType === Node.TEXT_NODE) {
        if (left <= 0) late.push(node);
        else if (node.data.length > left) node.data = node.data.slice(0, left);
        left -= node.data.length;
      } else if (left <= 0 && (node.tagName === "IMG" || node.classList.contains("katex"))) {
        late.push(node);
      }
    }
    late.forEach((n) => n.remove());
    return t.innerHTML;
  }

  // "?history=N" adds N finished exchanges first: a long conversation.
  const history = Number(new URLSearchParams(location.search).get("history") || 0);
  for (let i = 1; i <= history; i++) finish(surfaces[surface](`Earlier question ${i}?`), `Earlier answer ${i}. ` + REPLY, false);

  // "?retitle=1" renames the tab every second, as pages that count unread
  // messages or show a clock in their title do.
  if (new URLSearchParams(location.search).get("retitle")) {
    const base = document.title;
    let tick = 0;
    setInterval(() => { document.title = `(${++tick}) ${base}`; }, 1000);
  }

  // "?ask=TEXT" adds one finished exchange asking TEXT: a conversation that
  // began with a known prompt (what a regression baseline looks for).
  const ask = new URLSearchParams(location.search).get("ask");
  if (ask) finish(surfaces[surface](ask), RICH ? RICH.html : REPLY, !!RICH);

  // How a reply streams, from the page's address: "?pace=slow" gives one
  // word every 400 ms with a pause of a second after every sixth; otherwise
  // pieces of about 40 characters every 150 ms with short pauses and one of
  // about a second midway. "?stop=LABEL" names the stop control LABEL, as
  // each product (and each of its versions) names it; "?stop=none" shows no
  // stop control at all; "?stop=blink" hides it during every pause.
  const params = new URLSearchParams(location.search);
  const slow = params.get("pace") === "slow";
  const stopMode = params.get("stop");

  function pieces(total, wordEnds) {
    // Cut points (characters shown) and, per cut, the wait before it.
    const cuts = [];
    if (slow) {
      wordEnds.forEach((end, i) => cuts.push({ at: end, wait: i && i % 6 === 0 ? 1000 : 400 }));
    } else {
      let shown = 0, step = 0;
      while (shown < total) {
        step += 1;
        const paused = step % 5 === 0 || (step > 8 && step <= 14);
        if (paused) { cuts.push({ at: shown, wait: STEP_MS, pause: true }); continue; }
        shown = Math.min(total, shown + 40);
        cuts.push({ at: shown, wait: STEP_MS });
      }
    }
    if (!cuts.length || cuts[cuts.length - 1].at < total) cuts.push({ at: total, wait: STEP_MS });
    return cuts;
  }

  function wordEndsOf(text) {
    const ends = [];
    const re = /\S+/g;
    let m;
    while ((m = re.exec(text))) ends.push(m.index + m[0].length);
    return ends;
  }

  function send(prompt) {
    const before = new Set(besideNodes());
    const turn = surfaces[surface](prompt);
    besideNodes().filter((n) => !before.has(n)).forEach((n) => n.remove());
    turn.done.forEach((n) => n && (n.hidden = true));
    if (stopMode === "none") turn.busy.forEach((n) => n.remove());
    else if (stopMode && stopMode !== "blink") {
      turn.busy.filter((n) => n.tagName === "BUTTON").forEach((n) => { n.setAttribute("aria-label", stopMode); n.textContent = ""; });
    }
    streaming = true;
    const text = RICH ? (() => { const t = document.createElement("template"); t.innerHTML = RICH.html; return t.content.textContent; })()
                      : REPLY;
    const cuts = pieces(text.length, wordEndsOf(text));
    const render = (at) => RICH ? show(turn, partial(RICH.html, at), true) : show(turn, text.slice(0, at), false);
    let i = 0;
    const next = () => {
      const cut = cuts[i++];
      if (!cut) {
        finish(turn, RICH ? RICH.html : REPLY, !!RICH);
        streaming = false;
        state();
        return;
      }
      const pausing = cut.pause || cut.wait > 400;
      if (stopMode === "blink") turn.busy.forEach((n) => { n.hidden = pausing; });
      setTimeout(() => { if (!cut.pause) render(cut.at); next(); }, cut.wait);
    };
    next();
  }

  // The statement of the page as loaded; then a renamed class, which must
  // not change what the page states.
  state();
  // "?rename=old:new" renames a class on the whole page, as an app update would.
  const rename = new URLSearchParams(location.search).get("rename");
  if (rename && rename.includes(":")) {
    const [from, to] = rename.split(":");
    for (const el of document.getElementsByClassName(from)) el.classList.add(to);
    for (const el of Array.from(document.getElementsByClassName(from))) el.classList.remove(from);
  }


  document.addEventListener("keydown", (event) => {
    const box = event.target;
    if (event.key !== "Enter" || event.shiftKey || box.tagName !== "TEXTAREA") return;
    event.preventDefault();
    const prompt = box.value.trim();
    if (!prompt || streaming) return;
    box.value = "";
    send(prompt);
  });
})();
