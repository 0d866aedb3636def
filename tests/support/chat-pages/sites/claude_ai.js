// claude.ai: a sent prompt and its reply as the page adds them (a plain
// wrapper per message, the hidden "You said:" / "Claude responded:" line),
// "Stop response" in place of the send button while the reply streams, and
// the contenteditable composer whose Return sends.
window.velmarSites = window.velmarSites || {};
window.velmarSites["claude_ai"] = (kit) => {
  const { $, $$, last, button, div } = kit;
  const editor = () => $('[contenteditable="true"].ProseMirror');

  // The shared sender reads a textarea: Return in the editor hands its text
  // to one the test page keeps out of sight (and out of the tree).
  const handover = document.createElement("textarea");
  handover.style.display = "none";
  document.body.append(handover);
  document.addEventListener("keydown", (event) => {
    const box = event.target;
    if (event.key !== "Enter" || event.shiftKey || !box.closest || !box.closest('[contenteditable="true"]')) return;
    event.preventDefault();
    event.stopPropagation();
    const text = editor().innerText.trim();
    editor().innerHTML = '<p data-placeholder="Reply to Claude..." class="is-empty is-editor-empty"><br class="ProseMirror-trailingBreak"></p>';
    handover.value = text;
    handover.dispatchEvent(new KeyboardEvent("keydown", { key: "Enter", bubbles: true }));
  }, true);

  const wrappers = () => $$("[data-test-render-count]");
  const isPrompt = (w) => !!$('[data-testid="user-message"]', w);

  return {
    add(prompt) {
      const u = last(wrappers().filter(isPrompt)).cloneNode(true);
      const a = last(wrappers().filter((w) => !isPrompt(w))).cloneNode(true);
      $("h2", u).textContent = "You said: " + prompt;
      $('[data-testid="user-message"] p', u).textContent = prompt;
      $(".text-xs", u).textContent = "4:52 PM";
      const response = $(".font-claude-response", a);
      response.replaceChildren(div("standard-markdown grid-cols-1 grid gap-2.5"));
      const streaming = $("[data-is-streaming]", a);
      streaming.dataset.isStreaming = "true";
      last(wrappers()).after(u, a);
      const status = $('[role="status"].sr-only');
      status.textContent = "";
      const send = $('[aria-label="Send message"]');
      const stop = button("Stop response");
      stop.className = send.className;
      send.hidden = true;
      send.after(stop);
      return {
        target: response.firstChild, busy: [stop], done: [$('[aria-label="Message actions"]', a)],
        besideAfter: response.firstChild,
        onText: (t) => { $("h2", a).textContent = "Claude responded: " + t.trim().split("\n")[0]; },
        onDone: () => {
          streaming.dataset.isStreaming = "false";
          send.hidden = false;
          status.textContent = "Claude finished the response";
        },
      };
    },
    bubbles() {
      return wrappers().map((w) => isPrompt(w) ? ["user", $('[data-testid="user-message"]', w)]
                                               : ["assistant", $(".font-claude-response", w)]);
    },
    apart: ".artifact-block-cell, .line-clamp-1.text-\\[11px\\]",
  };
};
// A Cowork task page is claude.ai's markup too.
window.velmarSites["claude_cowork"] = window.velmarSites["claude_ai"];
