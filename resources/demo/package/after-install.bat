@rem The demo product's after-install step: it leaves a mark beside itself.
@echo package>>"%~dp0after-install.mark"
