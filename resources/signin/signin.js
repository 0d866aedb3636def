// The page's side of the bridge: it posts {action: ...} to the "velmar"
// handler and exposes velmarSetStep and velmarSetAXGranted to the agent.
(function () {
  "use strict";

  function post(message) {
    var handlers = window.webkit && window.webkit.messageHandlers;
    if (handlers && handlers.velmar) handlers.velmar.postMessage(message);
  }

  function byId(id) { return document.getElementById(id); }

  window.velmarSetStep = function (step) {
    if (step !== "signin" && step !== "permission") return;
    var steps = document.querySelectorAll(".step");
    for (var i = 0; i < steps.length; i++) steps[i].hidden = steps[i].dataset.step !== step;
    document.body.dataset.step = step;
  };

  window.velmarSetAXGranted = function (granted) {
    granted = granted === true;
    var status = byId("ax-status");
    status.textContent = granted ? "Access granted" : "Waiting for access…";
    status.className = "status " + (granted ? "granted" : "waiting");
    var finish = byId("finish-button");
    finish.disabled = !granted;
    finish.className = granted ? "primary" : "secondary";
    byId("grant-button").hidden = granted;
    document.body.dataset.axGranted = granted ? "true" : "false";
  };

  byId("signin-button").addEventListener("click", function () { post({ action: "signIn" }); });

  byId("email-form").addEventListener("submit", function (event) {
    event.preventDefault();
    var email = byId("email").value.trim();
    var password = byId("password").value;
    var error = byId("email-error");
    if (!email || !password) { error.hidden = false; return; }
    error.hidden = true;
    post({ action: "signIn", email: email, password: password });
    byId("password").value = "";
  });

  byId("grant-button").addEventListener("click", function () { post({ action: "grantAccess" }); });
  byId("finish-button").addEventListener("click", function () { post({ action: "finish" }); });

  window.velmarSetStep("signin");
  window.velmarSetAXGranted(false);
})();
